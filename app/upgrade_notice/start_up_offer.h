#pragma once
// Which notice is the start-up offer. The application offers the notice once
// at start-up, from its first activation, before the user can reach the
// Upgrade command; so the first notice of a process is the start-up offer,
// and every later one answers the Upgrade command.

namespace novaleaf {

// True for the first call in the process, false for every later one.
bool TakeStartUpOffer();

namespace testing {
// The next notice counts as the start-up offer again, as in a new process.
void ForgetStartUpOffer();
}  // namespace testing

}  // namespace novaleaf
