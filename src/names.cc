// What an entry line names: the file to copy (the line itself, or the path
// of a file: URL) and the target name, dest followed by the name part.
//
// The name part is what follows the source's last folder separator, a
// backslash or a slash, or the whole source where it has none; the platform
// says how characters are read (on Windows a double-byte code page's
// second byte may be a backslash) and which name parts are file names.
// So every target lies in the folder that dest names, whatever the
// playlist says.
#include "names.h"

#include <cctype>
#include <cstdio>
#include <cstring>

namespace {

// True when text begins with prefix, a lowercase ASCII text, in any case.
bool begins_with_in_any_case(const char* text, const char* prefix) {
  for (; *prefix != '\0'; ++text, ++prefix)
    if (tolower(static_cast<unsigned char>(*text)) != *prefix) return false;
  return true;
}

int hex_value(char digit) {
  return isdigit(static_cast<unsigned char>(digit)) ? digit - '0' : tolower(digit) - 'a' + 10;
}

const char kSchemeChars[] =
    "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789+-.";

// The length of the scheme and its colon that text begins with ("http:"),
// or 0. A drive ("C:") is no scheme.
size_t scheme_length(const char* text) {
  if (!isalpha(static_cast<unsigned char>(text[0]))) return 0;
  size_t length = 1 + strspn(text + 1, kSchemeChars);
  return length >= 2 && text[length] == ':' ? length + 1 : 0;
}

// The length of what comes before base's path: its scheme and authority.
size_t before_path(const char* base) {
  size_t length = scheme_length(base);
  if (strncmp(base + length, "//", 2) == 0) length += 2 + strcspn(base + length + 2, "/?#");
  return length;
}

// The start of the last segment written before out, no earlier than floor.
char* segment_before(char* out, char* floor) {
  for (--out; out > floor && out[-1] != '/';) --out;  // the segment, and its "/"
  return out;
}

// Removes the "." and ".." segments of path, in place, as RFC 3986 does
// (section 5.2.4), so that the result names the file whether or not the
// folders named before the dots exist. A relative path keeps the ".."
// that climb above its start ("../x.mp3"), for the playlist's folder to
// take; an absolute one drops those that climb above its root.
void remove_dot_segments(char* path) {
  bool absolute = path[0] == '/';
  char* out = path + (absolute ? 1 : 0);  // never past in: the path only shrinks
  const char* in = out;
  char* floor = out;  // what stands before it is never removed
  while (*in != '\0') {
    size_t length = strcspn(in, "/");
    size_t with_slash = length + (in[length] == '/' ? 1 : 0);
    bool dot = length == 1 && in[0] == '.';
    bool dot_dot = length == 2 && in[0] == '.' && in[1] == '.';
    if (dot_dot && out > floor) {
      out = segment_before(out, floor);
    } else if (!dot && !(dot_dot && absolute)) {
      memmove(out, in, with_slash);
      out += with_slash;
      floor = dot_dot ? out : floor;
    }
    in += with_slash;
  }
  *out = '\0';
}

}  // namespace

bool resolve_uri(const char* reference, const char* base, char* out, size_t size) {
  size_t kept = 0;  // of base, before reference
  const char* between = "";
  if (base[0] == '\0' || scheme_length(reference) > 0) {
    kept = 0;
  } else if (strncmp(reference, "//", 2) == 0) {
    kept = scheme_length(base);
  } else if (reference[0] == '/') {
    kept = before_path(base);
  } else {
    size_t path_start = before_path(base);
    size_t path_end = path_start + strcspn(base + path_start, "?#");
    kept = path_end;
    while (kept > path_start && base[kept - 1] != '/') --kept;
    if (kept == path_start && path_start > scheme_length(base)) between = "/";  // "http://host"
  }
  int length = snprintf(out, size, "%.*s%s%s", static_cast<int>(kept), base, between, reference);
  if (length < 0 || static_cast<size_t>(length) >= size) return false;
  // The path's dots go; what follows it (a query, a fragment) stays.
  char* path = out + before_path(out);
  size_t path_length = strcspn(path, "?#");
  char rest[kPathSize];
  if (strlen(path + path_length) >= sizeof rest) return false;
  strcpy(rest, path + path_length);  // fits, as checked
  path[path_length] = '\0';
  remove_dot_segments(path);
  strcat(path, rest);  // fits: the path only shrank
  return true;
}

bool is_url(const char* line) {
  size_t length = scheme_length(line);
  return length > 0 && strncmp(line + length - 1, "://", 3) == 0;
}

FormResult find_source(const char* line, char (&source)[kPathSize]) {
  if (!is_url(line)) {
    size_t length = strlen(line);
    if (length >= sizeof source) return kTargetTooLong;  // never: an entry line fits
    memcpy(source, line, length + 1);
    return kFormed;
  }
  if (!begins_with_in_any_case(line, "file://")) return kNoNamePart;
  const char* host = line + strlen("file://");
  const char* path = strchr(host, '/');
  if (path == nullptr) return kNoNamePart;
  size_t host_length = static_cast<size_t>(path - host);
  bool on_other_host = host_length > 0 && !(host_length == strlen("localhost") &&
                                            begins_with_in_any_case(host, "localhost"));
  // A file on another host is "//HOST/PATH", as Windows names a share.
  if (!percent_decode(on_other_host ? host - 2 : path, source)) return kNotAFileName;
  return localize_url_path(source, on_other_host) ? kFormed : kNoNamePart;
}

namespace {

// What follows the last folder separator of name, read in code, or a
// drive's colon that begins it ("E:" as dest).
const char* last_part(const char* name, NameCode code) {
  const char* part = name;
  for (const char* at = name; *at != '\0'; at += char_length(at, code))
    if (strchr(kFolderSeparators, *at) != nullptr || (at == name + 1 && *at == ':')) part = at + 1;
  return part;
}

}  // namespace

FormResult form_target_name(const char* source, NameCode code, const char* dest,
                            char (&target)[kTargetNameSize]) {
  if (source[0] == '\0') return kNoNamePart;
  // Character by character: in a double-byte code page the second byte of
  // a character may be a backslash, and is no separator.
  const char* name_part = source;
  for (const char* at = source; *at != '\0'; at += char_length(at, code))
    if (strchr(kFolderSeparators, *at) != nullptr) name_part = at + 1;
  size_t dest_length = strlen(dest);
  size_t name_length = strlen(name_part);
  if (dest_length + name_length >= sizeof target) return kTargetTooLong;
  memcpy(target, dest, dest_length);
  memcpy(target + dest_length, name_part, name_length + 1);
  // The rules apply to the target's last part: dest's last part and the
  // name part together (dest "out\CO" and "N.mp3" make the device CON).
  return is_file_name(last_part(target, code), code) ? kFormed : kNotAFileName;
}

bool percent_decode(const char* text, char (&out)[kPathSize]) {
  size_t length = 0;
  for (; *text != '\0'; ++text) {
    char byte = *text;
    if (byte == '%' && isxdigit(static_cast<unsigned char>(text[1])) &&
        isxdigit(static_cast<unsigned char>(text[2]))) {
      byte = static_cast<char>(hex_value(text[1]) << 4 | hex_value(text[2]));
      text += 2;
    }
    if (byte == '\0' || length + 1 >= sizeof out) return false;
    out[length++] = byte;
  }
  out[length] = '\0';
  return true;
}

void take_dest_folder(const char* dest, char (&folder)[kPathSize]) {
  size_t length = strlen(dest);
  while (length > 0 && strchr(kFolderSeparators, dest[length - 1]) == nullptr) --length;
  memcpy(folder, dest, length);  // fits: dest does
  folder[length] = '\0';
}

bool begins_with_any_case(const char* text, const char* prefix) {
  for (; *prefix != '\0'; ++text, ++prefix)
    if ((*text >= 'A' && *text <= 'Z' ? *text | 0x20 : *text) != *prefix) return false;
  return true;
}

bool begins_with_drive(const char* name) {
  char letter = static_cast<char>(name[0] | 0x20);
  return letter >= 'a' && letter <= 'z' && name[1] == ':';
}
