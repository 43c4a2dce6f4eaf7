// The entry points of libwnaspi32.so, the only symbols it exports.

#include <algorithm>
#include <cstring>
#include <exception>

#include "platform/aspi/layer_instance.h"
#include "platform/aspi/wnaspi32.h"

#define WNASPI32_EXPORT extern "C" __attribute__((visibility("default")))

WNASPI32_EXPORT uint32_t SendASPI32Command(void* srb) {
  try {
    return wnaspi::CurrentLayer()->Send(srb);
  } catch (const std::exception&) {
    // Nothing may cross the C boundary; the request simply fails.
    if (srb) static_cast<SRB_Header*>(srb)->SRB_Status = SS_ERR;
    return SS_ERR;
  }
}

WNASPI32_EXPORT uint32_t GetASPI32SupportInfo(void) {
  try {
    return wnaspi::CurrentLayer()->SupportInfo();
  } catch (const std::exception&) {
    return std::uint32_t{SS_NO_ADAPTERS} << 8;
  }
}

WNASPI32_EXPORT uint32_t GetASPI32DeviceNote(uint8_t hostAdapter, uint8_t target, uint8_t lun,
                                             char* text, uint32_t size) {
  try {
    const std::string note = wnaspi::CurrentLayer()->DeviceNote(hostAdapter, target, lun);
    if (text && size > 0) {
      const std::size_t length = std::min<std::size_t>(note.size(), size - 1);
      std::memcpy(text, note.data(), length);
      text[length] = '\0';
    }
    return static_cast<uint32_t>(note.size());
  } catch (const std::exception&) {
    if (text && size > 0) text[0] = '\0';
    return 0;
  }
}
