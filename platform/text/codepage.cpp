#include "platform/text/codepage.h"

#include <iconv.h>
#include <langinfo.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <vector>

namespace platform {
namespace {

// UTF-16 in host byte order: iconv's "UTF-16" would add a byte-order mark.
constexpr const char* kWideCharset = "UTF-16LE";

class Converter {
 public:
  Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Converter() {
    if (Ok()) iconv_close(cd_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;
  bool Ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

  // Converts `in`; an unconvertible or broken input unit (`inUnit` bytes) is
  // replaced by what `replace` makes of it, in the target charset.
  using Replacement = std::function<std::string(std::string_view unit)>;
  std::string Run(std::string_view in, const Replacement& replace, size_t inUnit) {
    std::string out;
    std::vector<char> buffer(in.size() * 4 + 16);
    char* src = const_cast<char*>(in.data());
    size_t srcLeft = in.size();
    while (srcLeft > 0) {
      char* dst = buffer.data();
      size_t dstLeft = buffer.size();
      size_t rc = iconv(cd_, &src, &srcLeft, &dst, &dstLeft);
      out.append(buffer.data(), static_cast<size_t>(dst - buffer.data()));
      if (rc != static_cast<size_t>(-1)) break;
      if (errno == E2BIG) continue;
      // EILSEQ or EINVAL: replace one input unit and go on.
      size_t skip = srcLeft < inUnit ? srcLeft : inUnit;
      out.append(replace(std::string_view(src, skip)));
      src += skip;
      srcLeft -= skip;
      iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    }
    return out;
  }

 private:
  iconv_t cd_;
};

std::u16string BytesToU16(const std::string& bytes) {
  std::u16string out(bytes.size() / 2, u'\0');
  for (size_t i = 0; i < out.size(); ++i) {
    out[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                   (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
  }
  return out;
}

std::string U16ToBytes(std::u16string_view text) {
  std::string bytes(text.size() * 2, '\0');
  for (size_t i = 0; i < text.size(); ++i) {
    bytes[2 * i] = static_cast<char>(text[i] & 0xFF);
    bytes[2 * i + 1] = static_cast<char>(text[i] >> 8);
  }
  return bytes;
}

char16_t WideForInvalidByte(unsigned char byte, InvalidBytes invalid) {
  return invalid == InvalidBytes::AsLatin1 ? char16_t{byte} : u'\uFFFD';
}

std::u16string ToWide(std::string_view text, const std::string& charset, InvalidBytes invalid) {
  Converter conv(kWideCharset, charset.c_str());
  if (!conv.Ok()) {
    std::u16string out;
    for (char raw : text) {
      const auto c = static_cast<unsigned char>(raw);
      out.push_back(c < 0x80 ? c : WideForInvalidByte(c, invalid));
    }
    return out;
  }
  auto replace = [invalid](std::string_view unit) {
    return U16ToBytes(std::u16string(1, WideForInvalidByte(static_cast<unsigned char>(unit[0]), invalid)));
  };
  return BytesToU16(conv.Run(text, replace, 1));
}

std::string FromWide(std::u16string_view text, const std::string& charset) {
  Converter conv(charset.c_str(), kWideCharset);
  if (!conv.Ok()) {
    std::string out;
    for (char16_t c : text) out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    return out;
  }
  return conv.Run(U16ToBytes(text), [](std::string_view) { return std::string("?"); }, 2);
}

}  // namespace

std::string NarrowCharset() {
  const char* codeset = nl_langinfo(CODESET);
  if (codeset == nullptr || *codeset == '\0' || std::strcmp(codeset, "ANSI_X3.4-1968") == 0 ||
      std::strcmp(codeset, "ASCII") == 0) {
    return "UTF-8";
  }
  return codeset;
}

std::u16string NarrowToWide(std::string_view text, InvalidBytes invalid) {
  return ToWide(text, NarrowCharset(), invalid);
}
std::string WideToNarrow(std::u16string_view text) { return FromWide(text, NarrowCharset()); }
std::u16string Utf8ToUtf16(std::string_view text) { return ToWide(text, "UTF-8", InvalidBytes::Replace); }
std::string Utf16ToUtf8(std::u16string_view text) { return FromWide(text, "UTF-8"); }

}  // namespace platform
