// Arbitrary bytes as the player's switches: the first byte chooses the
// screen-saver mode, the rest splits at the first zero byte into the
// embedded text and the command line (and the quick-play defaults, served
// from the same bytes). Building, cancelling, parsing and the help decision
// must stay inside the 1024-byte switch text whatever the input is.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "player/embedded_switches.h"
#include "player/switches.h"

namespace {

void ReadQuickPlay(void* context, const char* section, const char* key, char* out,
                   uint32_t out_size) {
  const std::string* value = static_cast<const std::string*>(context);
  size_t n = value->size() < out_size - 1 ? value->size() : out_size - 1;
  std::memcpy(out, value->data(), n);
  out[n] = 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  static const int32_t kModes[] = {0, 1, 2, 5000};
  int32_t saver = kModes[data[0] & 3];
  std::string rest(reinterpret_cast<const char*>(data + 1), size - 1);
  size_t zero = rest.find('\0');
  std::string embedded = zero == std::string::npos ? rest : rest.substr(0, zero);
  std::string command = zero == std::string::npos ? "" : rest.substr(zero + 1);
  command = command.substr(0, command.find('\0'));
  std::string quick = command.substr(0, command.size() / 2);

  SwitchEnvironment env{1024, 768, saver, ReadQuickPlay, &quick};
  SwitchText text;
  if (BuildSwitchText(&text, embedded.c_str(), command.c_str(), saver != 0)) {
    ParsedSwitches parsed;
    ParseSwitches(&text, &env, &parsed, nullptr);
    SwitchTextNeedsHelp(text.text);
  }
  ParseScreenSaverArgs(command.c_str());
  ParseRatio(embedded.c_str(), nullptr);

  // The patcher on arbitrary program bytes.
  std::string program(reinterpret_cast<const char*>(data), size);
  PatchEmbeddedSwitches(reinterpret_cast<uint8_t*>(program.data()), program.size(), "x /l",
                        nullptr);
  return 0;
}
