#include <cstddef>
#include <cstdint>
#include <string>

#include "portable/ReadmeText.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string bytes(reinterpret_cast<const char*>(data), size);
  std::string utf8 = installer::DecodePage(bytes);
  if (!installer::IsValidUtf8(utf8)) __builtin_trap();
  std::string text = installer::HtmlToText(utf8);
  if (!installer::IsValidUtf8(text)) __builtin_trap();
  return 0;
}
