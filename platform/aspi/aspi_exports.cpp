// The two entry points of libwnaspi32.so, the only symbols it exports.

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
