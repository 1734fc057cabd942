#include "cases.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

// Puts the sandbox's own path where text says "{box}", and where it says
// "{\box}", the same with backslashes: a name from the root of the drive
// on Windows.
std::string with_box(std::string text, const Sandbox& box) {
  std::string path = (box / "").string();
  path.pop_back();
  std::string backslashed = path;
  for (char& c : backslashed) c = c == '/' ? '\\' : c;
  for (size_t at; (at = text.find("{box}")) != std::string::npos;) text.replace(at, 5, path);
  for (size_t at; (at = text.find("{\\box}")) != std::string::npos;) text.replace(at, 6, backslashed);
  return text;
}

}  // namespace

void check(const Case& c) {
  Sandbox box;
  Files before = c.before;
  for (auto& file : before) file.second = with_box(file.second, box);
  before[c.folder + "list.m3u"] = with_box(c.playlist, box);
  before[c.folder + "ro.m3u"] = with_box(c.playlist, box);
  before["my out/"] = "";
  box.add(before);
  chmod((box / (c.folder + "ro.m3u")).c_str(), 0444);
  Result result = run_in(box / c.folder, c.args);
  std::string out = with_box(c.out, box);
  EXPECT_TRUE(matches(out.c_str(), result.out.c_str()))
      << c.what << "\nexpected: " << out << "\nactual:   " << result.out;
  EXPECT_EQ(result.status, c.status) << c.what << "\nstandard error: " << result.err;
  std::string err = result.err;
  for (size_t at; (at = err.find("\r\n")) != std::string::npos;) err.erase(at, 1);
  EXPECT_EQ(err, with_box(c.err, box)) << c.what << ": standard error";
  Files expected;
  for (const auto& [name, content] : before)
    if (name.back() != '/') expected[name] = content;
  for (const auto& [name, content] : c.changed) expected[name] = content;
  EXPECT_EQ(box.files(), expected) << c.what;
}

std::string native_or_any(const std::string& reason) { return under_wine() ? "*" : reason; }
std::string native_or_wine(const std::string& reason, const std::string& wine) {
  return under_wine() ? wine : reason;
}
