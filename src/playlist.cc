// The playlist as the run sees it: which reader reads it, and where its
// relative entries are found.
#include "playlist.h"

#include <cstdio>
#include <cstring>

#include "file_system.h"
#include "pls_reader.h"

namespace {

// True when text begins with prefix, a lowercase ASCII text, in any case.
bool begins_with(const char* text, const char* prefix) {
  for (; *prefix != '\0'; ++text, ++prefix)
    if ((*text >= 'A' && *text <= 'Z' ? *text | 0x20 : *text) != *prefix) return false;
  return true;
}

bool is_separator(char c) { return c != '\0' && strchr(kFolderSeparators, c) != nullptr; }

const char kWordChars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";

// Reads the next line of the playlist's start ahead into line, as plain
// text. Returns false at the end, or where no more may be read ahead.
bool peek_line(LineReader* reader, char (&line)[kPeekSize + 1]) {
  unsigned length = 0;
  for (long c; (c = peek_next(reader)) != EOF;) {
    if (c == '\r' || c == '\n') {
      line[length] = '\0';
      return true;
    }
    line[length++] = static_cast<char>(c);  // fits: at most kPeekSize are read ahead
  }
  line[length] = '\0';
  return length > 0;
}

// Markup: a tag, a comment, a DOCTYPE or an instruction ("<<<<<<<", a
// merge's mark in a line-based playlist, is none).
bool begins_markup(const char* text) {
  char next = text[1];
  return text[0] == '<' && (next == '?' || next == '!' || next == '_' ||
                            (next >= 'a' && next <= 'z') || (next >= 'A' && next <= 'Z'));
}

// True where text begins with a MIME type of PLS, whole: a player takes a
// "[playlist]" after such a line as PLS, and after a song's type (an M3U
// that lists "audio/mpeg") as nothing of the kind.
bool begins_with_pls_type(const char* text, size_t type) {
  const char* kTypes[] = {"audio/x-scpls", "audio/scpls",      "audio/x-pls",
                          "application/pls", "application/pls+xml", "application/x-scpls"};
  for (const char* pls : kTypes)
    if (type == strlen(pls) && begins_with(text, pls)) return true;
  return false;
}

// A line that may come before a PLS's "[playlist]": a comment, or the
// MIME type a server sent with it ("audio/x-scpls"), alone or with the
// extensions that a line of mime.types gives it ("audio/x-scpls   pls").
bool may_precede_pls(const char* text) {
  if (*text == ';' || (*text == '#' && !begins_with(text, "#ext"))) return true;
  size_t type = strcspn(text, " \t");
  if (!begins_with_pls_type(text, type)) return false;
  const char* extensions = text + type;
  while (*extensions != '\0') {
    size_t blanks = strspn(extensions, " \t");
    size_t word = strspn(extensions + blanks, kWordChars);
    if (extensions[blanks] == '\0') return true;  // blanks that end the line
    if (blanks == 0 || word == 0) return false;
    extensions += blanks + word;
  }
  return true;
}

// The format of the playlist, from its first lines, read ahead only as far
// as they take to tell it: usually its first line alone.
PlaylistFormat format_of(LineReader* reader) {
  char line[kPeekSize + 1];
  while (peek_line(reader, line)) {
    const char* text = line + strspn(line, " \t");
    if (begins_with(text, "[playlist]")) return kPls;
    if (begins_markup(text)) return kXml;
    if (*text != '\0' && !may_precede_pls(text)) return kM3u;
  }
  return kM3u;
}

// The folder part of name, up to and including its last separator (or a
// drive's colon), into folder; "." and a separator where it has none, so
// that a bare entry is found there too.
void take_folder(const char* name, char (&folder)[kPathSize]) {
  size_t length = folder_part_length(name);
  if (length + 3 > sizeof folder) length = 0;  // never: the name came from the command line
  memcpy(folder, name, length);
  folder[length] = '\0';
  if (length == 0 || folder[length - 1] == ':') snprintf(folder + length, 3, ".%s", dest_separator());
}

// An M3U line with no separator whose first character other than blanks
// and tabs is "#" is a comment, as players read an indented #EXTINF; one of
// blanks alone names nothing.
bool is_indented_comment(const char* line) {
  if (strpbrk(line, kFolderSeparators) != nullptr) return false;
  const char* text = line + strspn(line, " \t");
  return *text == '#' || *text == '\0';
}

}  // namespace

bool open_for_run(const char* m3u_file, Playlist* playlist, const char** why) {
  FILE* file = open_playlist(m3u_file, why);
  if (file == nullptr) return false;
  playlist->reader = start_line_reader(file);
  playlist->format = format_of(&playlist->reader);
  start_xml_reader(&playlist->xml, &playlist->reader);
  take_folder(m3u_file, playlist->folder);
  if (!full_folder_of(m3u_file, playlist->full_folder)) playlist->full_folder[0] = '\0';
  root_of(playlist->full_folder, playlist->root);
  return true;
}

LineStatus next_entry(Playlist* playlist, char (&entry)[kLineSize]) {
  if (playlist->format == kPls) return next_pls_entry(&playlist->reader, entry);
  if (playlist->format == kXml) return next_xml_entry(&playlist->xml, entry);
  for (;;) {
    LineStatus status = next_entry_line(&playlist->reader, entry);
    if (status != kEntryLine || !is_indented_comment(entry)) return status;
  }
}

const char* playlist_error(const Playlist* playlist) { return playlist->xml.scan.why; }

const char* playlist_note(Playlist* playlist) {
  if (playlist->xml.scan.note[0] == '\0' || playlist->xml.note_told) return nullptr;
  playlist->xml.note_told = true;
  return playlist->xml.scan.note;
}

namespace {

// True where name begins with a drive ("C:"), which on POSIX systems
// reads as relative, though no folder holds such a name.
bool begins_with_drive(const char* name) {
  char letter = static_cast<char>(name[0] | 0x20);
  return letter >= 'a' && letter <= 'z' && name[1] == ':';
}

// An M3U entry as players find it: from the current folder, as ever, and
// where the current folder surely lacks a relative one, from the
// playlist's.
FormResult locate_m3u_entry(const Playlist* playlist, const char* entry, char (&source)[kPathSize],
                            EntryFound* found) {
  *found = kAsWritten;
  FormResult formed = find_source(entry, source);
  const char* folder = playlist->folder;
  bool named_here = folder[0] == '.' && is_separator(folder[1]) && folder[2] == '\0';
  if (formed != kFormed || named_here || !is_relative(source) || begins_with_drive(source) ||
      !is_missing(source, kCodePage))
    return formed;
  char beside[kPathSize];
  int length = snprintf(beside, sizeof beside, "%s%s", playlist->folder, source);
  if (length < 0 || static_cast<size_t>(length) >= sizeof beside) return formed;
  if (!file_exists(beside, kCodePage)) {
    *found = kInNeither;
    return formed;
  }
  memcpy(source, beside, static_cast<size_t>(length) + 1);
  *found = kBesidePlaylist;
  return kFormed;
}

}  // namespace

FormResult locate_entry(const Playlist* playlist, const char* entry, char (&source)[kPathSize],
                        EntryFound* found) {
  EntryFound where = kAsWritten;
  if (found == nullptr) found = &where;
  *found = kAsWritten;
  if (playlist->format == kM3u) return locate_m3u_entry(playlist, entry, source, found);
  if (is_url(entry)) return find_source(entry, source);
  char decoded[kPathSize];
  bool uri = playlist->format == kXml && playlist->xml.format == kXspf;
  if (uri && !percent_decode(entry, decoded)) return kNotAFileName;
  const char* name = uri ? decoded : entry;
  const char* before = "";
  if (is_relative(name))
    before = playlist->folder;
  else if (is_separator(name[0]) && !is_separator(name[1]))
    before = playlist->root;
  int length = snprintf(source, sizeof source, "%s%s", before, name);
  return length >= 0 && static_cast<size_t>(length) < sizeof source ? kFormed : kSourceTooLong;
}

const char* playlist_folder(const Playlist* playlist) { return playlist->full_folder; }

const char* playlist_folder_as_named(const Playlist* playlist) { return playlist->folder; }

void close_after_run(Playlist* playlist) { fclose(playlist->reader.playlist); }
