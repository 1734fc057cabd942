// The playlist as the run sees it: which reader reads it, and where its
// relative entries are found.
#include "playlist.h"

#include <cstdio>
#include <cstring>

#include "names.h"
#include "platform.h"
#include "pls_reader.h"

namespace {

// True when text begins with prefix, a lowercase ASCII text, in any case.
bool begins_with(const char* text, const char* prefix) {
  for (; *prefix != '\0'; ++text, ++prefix)
    if ((*text >= 'A' && *text <= 'Z' ? *text | 0x20 : *text) != *prefix) return false;
  return true;
}

// The format of a playlist that begins with start, read ahead.
PlaylistFormat format_of(const char* start) {
  start += strspn(start, " \t\r\n");
  if (begins_with(start, "[playlist]")) return kPls;
  const char* xml_starts[] = {"<?xml", "<?wpl", "<smil", "<playlist"};
  for (const char* xml : xml_starts)
    if (begins_with(start, xml)) return kXml;
  return kM3u;
}

// The folder part of name, up to and including its last separator (or a
// drive's colon), into folder.
void take_folder(const char* name, char (&folder)[kPathSize]) {
  size_t length = 0;
  for (size_t i = 0; name[i] != '\0'; ++i)
    if (strchr(kFolderSeparators, name[i]) != nullptr || (i == 1 && name[i] == ':')) length = i + 1;
  if (length >= sizeof folder) length = 0;  // never: the name came from the command line
  memcpy(folder, name, length);
  folder[length] = '\0';
}

}  // namespace

bool open_for_run(const char* m3u_file, Playlist* playlist, const char** why) {
  FILE* file = open_playlist(m3u_file, why);
  if (file == nullptr) return false;
  playlist->reader = start_line_reader(file);
  char start[64];
  peek_start(&playlist->reader, start, sizeof start);
  playlist->format = format_of(start);
  start_xml_reader(&playlist->xml, &playlist->reader);
  take_folder(m3u_file, playlist->folder);
  return true;
}

LineStatus next_entry(Playlist* playlist, char (&entry)[kLineSize]) {
  if (playlist->format == kPls) return next_pls_entry(&playlist->reader, entry);
  if (playlist->format == kXml) return next_xml_entry(&playlist->xml, entry);
  return next_entry_line(&playlist->reader, entry);
}

const char* playlist_error(const Playlist* playlist) { return playlist->xml.why; }

bool locate_entry(const Playlist* playlist, char (&source)[kPathSize]) {
  if (playlist->format == kM3u || !is_relative(source)) return true;
  char decoded[kPathSize];
  char found[kPathSize];
  bool uri = playlist->format == kXml && playlist->xml.format == kXspf;
  if (uri && !percent_decode(source, decoded)) return false;
  int length = snprintf(found, sizeof found, "%s%s", playlist->folder, uri ? decoded : source);
  if (length < 0 || static_cast<size_t>(length) >= sizeof found) return false;
  memcpy(source, found, static_cast<size_t>(length) + 1);
  return true;
}

void close_after_run(Playlist* playlist) { fclose(playlist->reader.playlist); }
