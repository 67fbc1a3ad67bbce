#include "player/embedded_switches.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "player/switches.h"

namespace {

std::vector<uint8_t> ReadOwnProgram() {
  std::vector<uint8_t> bytes;
  std::FILE* f = std::fopen("/proc/self/exe", "rb");
  if (!f) return bytes;
  uint8_t buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof(buf), f)) > 0) bytes.insert(bytes.end(), buf, buf + n);
  std::fclose(f);
  return bytes;
}

// A stand-in program file: some bytes, this program's block, more bytes.
std::vector<uint8_t> FakeProgram() {
  std::vector<uint8_t> bytes(1000, 0x90);
  const char* block = EmbeddedSwitchMarker();
  bytes.insert(bytes.end(), block, block + kEmbeddedMarkerSize + kEmbeddedFieldSize + 1);
  bytes.insert(bytes.end(), 300, 0xCC);
  return bytes;
}

TEST(EmbeddedSwitches, UnpatchedProgramCarriesAnEmptyText) {
  char text[600];
  EXPECT_EQ(EmbeddedSwitchText(text, sizeof(text)), 0u);
  EXPECT_STREQ(text, "");
  SwitchText t;
  ASSERT_TRUE(BuildPlayerSwitchText(&t, " clip.vxa /L2", false));
  EXPECT_STREQ(t.text, " clip.vxa /L2");
}

TEST(EmbeddedSwitches, TheBuiltProgramHoldsExactlyOneField) {
  // The field survived compiling and linking, unmerged and unduplicated.
  std::vector<uint8_t> self = ReadOwnProgram();
  ASSERT_FALSE(self.empty());
  long at = FindEmbeddedSwitchField(self.data(), self.size());
  ASSERT_GE(at, 0);
  EXPECT_EQ(self[static_cast<size_t>(at)], '~');
}

TEST(EmbeddedSwitches, PatchRewritesTheFieldAndPadsIt) {
  std::vector<uint8_t> program = FakeProgram();
  const char* error = nullptr;
  ASSERT_TRUE(PatchEmbeddedSwitches(program.data(), program.size(), ":115712 /l", &error));
  long at = FindEmbeddedSwitchField(program.data(), program.size());
  ASSERT_EQ(at, 1000 + static_cast<long>(kEmbeddedMarkerSize));
  std::string field(reinterpret_cast<const char*>(program.data() + at), kEmbeddedFieldSize);
  EXPECT_EQ(field, ":115712 /l" + std::string(kEmbeddedFieldSize - 10, '~'));
  EXPECT_EQ(program[static_cast<size_t>(at) + kEmbeddedFieldSize], 0);
  EXPECT_EQ(program[static_cast<size_t>(at) + kEmbeddedFieldSize + 1], 0xCC);  // untouched
  // The patched field reads back as the switch text a copy would start with.
  SwitchText t;
  ASSERT_TRUE(BuildSwitchText(&t, field.c_str(), "/-l", false));
  EXPECT_STREQ(t.text, ":115712 ");
  // Patching again replaces, and a shorter text is padded again.
  ASSERT_TRUE(PatchEmbeddedSwitches(program.data(), program.size(), "x", &error));
  EXPECT_EQ(program[static_cast<size_t>(at) + 1], '~');
}

TEST(EmbeddedSwitches, PatchRefusesWhatItCannotWriteSafely) {
  std::vector<uint8_t> program = FakeProgram();
  const std::vector<uint8_t> original = program;
  const char* error = nullptr;
  std::string longest(kEmbeddedSwitchMax, 's');
  EXPECT_TRUE(PatchEmbeddedSwitches(program.data(), program.size(), longest.c_str(), &error));
  program = original;
  EXPECT_FALSE(PatchEmbeddedSwitches(program.data(), program.size(), (longest + "s").c_str(), &error));
  EXPECT_FALSE(PatchEmbeddedSwitches(program.data(), program.size(), "a~b", &error));
  EXPECT_EQ(program, original);
  // No field, a truncated field, or two fields: nothing is written.
  std::vector<uint8_t> none(2000, 0x41);
  EXPECT_FALSE(PatchEmbeddedSwitches(none.data(), none.size(), "x", &error));
  EXPECT_NE(error, nullptr);
  std::vector<uint8_t> cut(program.begin(), program.begin() + 1000 + kEmbeddedMarkerSize + 100);
  EXPECT_EQ(FindEmbeddedSwitchField(cut.data(), cut.size()), -1);
  std::vector<uint8_t> twice = program;
  twice.insert(twice.end(), program.begin(), program.end());
  EXPECT_EQ(FindEmbeddedSwitchField(twice.data(), twice.size()), -1);
  EXPECT_EQ(FindEmbeddedSwitchField(nullptr, 0), -1);
}

}  // namespace
