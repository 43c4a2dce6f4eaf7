#include "app/upgrade_notice/start_up_offer.h"

#include <atomic>

namespace novaleaf {
namespace {

std::atomic<bool> offerMade{false};

}  // namespace

bool TakeStartUpOffer() { return !offerMade.exchange(true); }

void testing::ForgetStartUpOffer() { offerMade = false; }

}  // namespace novaleaf
