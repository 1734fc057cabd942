// The playlist as the run sees it: which reader reads it, and where its
// relative entries are found.
#include "playlist.h"

#include <cstdio>
#include <cstring>

#include "file_system.h"
#include "pls_reader.h"

namespace {

// True when text begins with prefix, a lowercase ASCII text, in any case.
bool begins_with(const char* text, const char* prefix) { return begins_with_any_case(text, prefix); }

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

// Where markup at "<" that is no element ends (an instruction, a comment,
// a DOCTYPE): past it; at itself where an element begins there; null
// where the text ends inside it.
const char* past_non_element(const char* at) {
  const char* end = at[1] == '?'                   ? "?>"
                    : strncmp(at, "<!--", 4) == 0 ? "-->"
                    : at[1] == '!'                 ? ">"
                                                   : nullptr;
  if (end == nullptr) return at;
  const char* found = strstr(at, end);
  return found == nullptr ? nullptr : found + strlen(end);
}

// The name of the root element, in lower case, of the XML playlist whose
// start is text, into root; "" where text ends before it.
void take_root_element(const char* text, char (&root)[16]) {
  root[0] = '\0';
  const char* at = strchr(text, '<');
  for (const char* past; at != nullptr && (past = past_non_element(at)) != at;)
    at = past == nullptr ? nullptr : strchr(past, '<');
  if (at == nullptr) return;
  size_t length = strspn(at + 1, kWordChars);
  if (length >= sizeof root) length = sizeof root - 1;
  for (size_t i = 0; i < length; ++i) root[i] = static_cast<char>(at[1 + i] | 0x20);
  root[length] = '\0';
}

// The format of an XML playlist whose first line of markup is line: ASX
// and B4S by their root element (<ASX>, <WinampXML>), read ahead as far as
// it may be; any other is XSPF, WPL or ZPL, which its reader tells.
PlaylistFormat format_of_markup(LineReader* reader, const char* line) {
  char text[kPeekSize + 2];
  size_t length = strlen(line);
  memcpy(text, line, length);  // fits: the line was read ahead too
  text[length++] = '\n';
  for (long c; length + 1 < sizeof text && (c = peek_next(reader)) != EOF;)
    text[length++] = static_cast<char>(c);
  text[length] = '\0';
  char root[16] = "";
  take_root_element(text, root);
  if (strcmp(root, "asx") == 0) return kAsx;
  return strcmp(root, "winampxml") == 0 ? kB4s : kXml;
}

// The format of the playlist, from its first lines, read ahead only as far
// as they take to tell it: usually its first line alone.
PlaylistFormat format_of(LineReader* reader) {
  char line[kPeekSize + 1];
  while (peek_line(reader, line)) {
    const char* text = line + strspn(line, " \t");
    if (begins_with(text, "[playlist]")) return kPls;
    if (begins_asx_ini(text)) return kAsxIni;
    if (begins_markup(text)) return format_of_markup(reader, text);
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

// Puts into entry the REF of the ASX entry just read that a player would
// play: the first that names a file lisko can copy; where none does, the
// first that names a file at all (its copy then says why it failed), and
// where all are streams, the first.
void choose_ref(const Playlist* playlist, char (&entry)[kLineSize]) {
  const EntryChoices& choices = playlist->asx.choices;
  int first_file = -1;
  for (unsigned i = 0; i < choices.count; ++i) {
    char source[kPathSize];
    FormResult formed = locate_entry(playlist, choices.refs[i], source);
    if (formed == kNoNamePart) continue;  // a stream
    if (first_file < 0) first_file = static_cast<int>(i);
    if (formed == kFormed && file_exists(source, read_entry_as(source))) {
      first_file = static_cast<int>(i);
      break;
    }
  }
  memcpy(entry, choices.refs[first_file >= 0 ? first_file : 0], kLineSize);
}

}  // namespace

bool open_for_run(const char* m3u_file, Playlist* playlist, const char** why) {
  FILE* file = open_playlist(m3u_file, why);
  if (file == nullptr) return false;
  playlist->reader = start_line_reader(file);
  playlist->format = format_of(&playlist->reader);
  start_xml_reader(&playlist->xml, &playlist->reader);
  take_folder(m3u_file, playlist->folder);
  start_asx_reader(&playlist->asx, &playlist->reader, playlist->format == kAsxIni, m3u_file,
                   playlist->folder);
  start_b4s_reader(&playlist->b4s, &playlist->reader);
  playlist->note_told = false;
  if (!full_folder_of(m3u_file, playlist->full_folder)) playlist->full_folder[0] = '\0';
  root_of(playlist->full_folder, playlist->root);
  return true;
}

LineStatus next_entry(Playlist* playlist, char (&entry)[kLineSize]) {
  if (playlist->format == kPls) return next_pls_entry(&playlist->reader, entry);
  if (playlist->format == kXml) return next_xml_entry(&playlist->xml, entry);
  if (playlist->format == kB4s) return next_b4s_entry(&playlist->b4s, entry);
  if (playlist->format == kAsx || playlist->format == kAsxIni) {
    LineStatus got = next_asx_entry(&playlist->asx);
    if (got == kEntryLine) choose_ref(playlist, entry);
    return got;
  }
  for (;;) {
    LineStatus status = next_entry_line(&playlist->reader, entry);
    if (status != kEntryLine || !is_indented_comment(entry)) return status;
  }
}

const char* playlist_error(const Playlist* playlist) {
  if (playlist->format == kAsx || playlist->format == kAsxIni) return playlist->asx.why;
  return playlist->format == kB4s ? playlist->b4s.scan.why : playlist->xml.scan.why;
}

const char* playlist_note(Playlist* playlist) {
  // ASX and B4S are read leniently, as their players read them: nothing to note.
  const char* note = playlist->xml.scan.note;
  if (note == nullptr || note[0] == '\0' || playlist->note_told) return nullptr;
  playlist->note_told = true;
  return note;
}

namespace {

// Puts name, relative, from the playlist's folder into source, where that
// folder has it. Returns false where it does not.
bool found_beside(const Playlist* playlist, const char* name, char (&source)[kPathSize]) {
  char beside[kPathSize];
  int length = snprintf(beside, sizeof beside, "%s%s", playlist->folder, name);
  if (length < 0 || static_cast<size_t>(length) >= sizeof beside || !file_exists(beside, kCodePage))
    return false;
  memcpy(source, beside, static_cast<size_t>(length) + 1);
  return true;
}

// An M3U entry as players find it: from the current folder, as ever, and
// where the current folder surely lacks a relative one, from the
// playlist's. An entry whose bytes are no UTF-8 and that names no file as
// it stands is looked for as the ANSI code page of the Windows that wrote
// it spells it too (on POSIX systems, in UTF-8).
FormResult locate_m3u_entry(const Playlist* playlist, const char* entry, char (&source)[kPathSize],
                            EntryFound* found) {
  *found = kAsWritten;
  FormResult formed = find_source(entry, source);
  char here[kPathSize];
  bool ansi = formed == kFormed && ansi_name_here(source, here);
  if (ansi && is_missing(source, kCodePage) && !is_missing(here, kCodePage)) {
    memcpy(source, here, sizeof source);
    return kFormed;
  }
  const char* folder = playlist->folder;
  bool named_here = folder[0] == '.' && is_separator(folder[1]) && folder[2] == '\0';
  if (formed != kFormed || named_here || !is_relative(source) || begins_with_drive(source) ||
      !is_missing(source, kCodePage))
    return formed;
  *found = kBesidePlaylist;
  if (found_beside(playlist, source, source) || (ansi && found_beside(playlist, here, source)))
    return kFormed;
  *found = kInNeither;
  return formed;
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
  bool ansi = playlist->format == kAsx || playlist->format == kAsxIni || playlist->format == kB4s;
  if (uri && !percent_decode(entry, decoded)) return kNotAFileName;
  bool converted = ansi && ansi_name_here(entry, decoded);
  const char* name = uri || converted ? decoded : entry;
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

void close_after_run(Playlist* playlist) {
  close_asx_reader(&playlist->asx);
  fclose(playlist->reader.playlist);
}
