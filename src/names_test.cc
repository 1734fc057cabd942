#include "names.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// The file an entry line names: the line itself, or the decoded path of a
// file: URL of this host. Other hosts and schemes name no file here.
TEST(Names, FindSource) {
  const struct {
    const char* line;
    FormResult result;
    const char* source;
  } cases[] = {
      {"C:\\mp3\\a.mp3", kFormed, "C:\\mp3\\a.mp3"},
      {"http://radio.example/a.mp3", kNoNamePart, ""},
      {"file:///home/me/My%20Song.mp3", kFormed, "/home/me/My Song.mp3"},
      {"FILE://localhost/a%2Fb.mp3", kFormed, "/a/b.mp3"},
      {"file://localhost.example.org/a.mp3", kNoNamePart, ""},  // another host
      {"file://server/share/a.mp3", kNoNamePart, ""},
      {"file:///a%00b.mp3", kNotAFileName, ""},
      {"file:///100%.mp3", kFormed, "/100%.mp3"},
      {"file:localhost", kFormed, "file:localhost"},  // no "//": a name
  };
  for (const auto& c : cases) {
    char source[kPathSize] = "";
    EXPECT_EQ(find_source(c.line, source), c.result) << c.line;
    if (c.result == kFormed) {
      EXPECT_STREQ(source, c.source) << c.line;
    }
  }
}

// The target name: dest followed directly by what follows the last
// separator, a backslash or a slash, or by the whole of a bare name.
TEST(Names, FormTargetName) {
  const std::string long_name(1020, 'n');
  const struct {
    std::string source;
    const char* dest;
    FormResult result;
    std::string target;
  } cases[] = {
      {"C:\\mp3\\a.mp3", "D:\\music\\", kFormed, "D:\\music\\a.mp3"},
      {"C:\\mp3\\a.mp3", "D:\\music", kFormed, "D:\\musica.mp3"},
      {"src/x\\y/a.mp3", "out/", kFormed, "out/a.mp3"},
      {"\\x\\a.mp3", "", kFormed, "a.mp3"},
      {"\\a.mp3", "out/", kFormed, "out/a.mp3"},  // its only separator comes first
      {"/a.mp3", "out/", kFormed, "out/a.mp3"},
      {"a.mp3", "out/", kFormed, "out/a.mp3"},  // a bare name is its own name part
      {"", "out/", kNoNamePart, ""},
      {"src\\", "out/", kFormed, "out/"},  // an empty name part: dest itself
      {"s\\" + long_name, "abc", kFormed, "abc" + long_name},
      {"s\\" + long_name, "abcd", kTargetTooLong, ""},
  };
  for (const auto& c : cases) {
    char target[kTargetNameSize] = "";
    EXPECT_EQ(form_target_name(c.source.c_str(), kCodePage, c.dest, target), c.result) << c.source;
    if (c.result == kFormed) {
      EXPECT_EQ(target, c.target) << c.source;
    }
  }
}

// A location resolved against the xml:base around it, as RFC 3986 does:
// the dots of the path removed, but for the ".." that begin a relative
// result, which the playlist's folder takes.
TEST(Names, ResolveUri) {
  const struct {
    const char* reference;
    const char* base;
    const char* resolved;
  } cases[] = {
      {"four.mp3", "../../three/", "../../three/four.mp3"},
      {"../../three/four.mp3", "two/", "../three/four.mp3"},
      {"../three/four.mp3", "one/", "three/four.mp3"},
      {"a/./b/../c.mp3", "", "a/c.mp3"},
      {"a/b/..", "", "a/"},
      {"../x.mp3", "", "../x.mp3"},
      {"x.mp3", "lists/mix.xspf", "lists/x.mp3"},
      {"x.mp3", "file:///music/a/", "file:///music/a/x.mp3"},
      {"../x.mp3", "file:///music/a/", "file:///music/x.mp3"},
      {"../../../x.mp3", "file:///music/", "file:///x.mp3"},  // no folder above the root
      {"/x/../y.mp3", "file:///m/", "file:///y.mp3"},
      {"//server/share/a.mp3", "file:///m/", "file://server/share/a.mp3"},
      {"file:///a/b/../c.mp3", "one/", "file:///a/c.mp3"},
      {"b.mp3", "http://host", "http://host/b.mp3"},
      {"x.mp3?v=./1#../t", "d/./", "d/x.mp3?v=./1#../t"},
      {"a//../b.mp3", "", "a/b.mp3"},
      {"a/.x/../.b/x./..b/b.mp3", "", "a/.b/x./..b/b.mp3"},  // names that only begin with dots
  };
  for (const auto& c : cases) {
    char out[kPathSize];
    EXPECT_TRUE(resolve_uri(c.reference, c.base, out, sizeof out)) << c.reference;
    EXPECT_STREQ(out, c.resolved) << c.reference << " against " << c.base;
  }
  char small[12];
  EXPECT_FALSE(resolve_uri("four.mp3", "three/", small, sizeof small));  // 15 bytes
  EXPECT_TRUE(resolve_uri("four.mp3", "../", small, sizeof small));      // 11 bytes
  EXPECT_STREQ(small, "../four.mp3");
}

}  // namespace
