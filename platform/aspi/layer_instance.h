#pragma once
// The one ASPI layer of the process. The shared library builds it from the
// environment on first use and keeps it; tests rebuild it from variables of
// their own, and a fake machine, without starting a new process.

#include <memory>

#include "platform/aspi/aspi_layer.h"
#include "platform/aspi/config.h"
#include "platform/aspi/sg/sg_system.h"

namespace wnaspi {

// The layer, built on first use from the environment and the machine's
// drives. Requests hold on to the layer they started with, so a test that
// reconfigures never pulls it away from under a running request.
std::shared_ptr<AspiLayer> CurrentLayer();

// Builds the layer from `variables` as if they were the environment, with
// `sg` as the machine (null: no real drives).
void ConfigureForTesting(const Variables& variables, std::shared_ptr<sg::SgSystem> sg = nullptr);
// Forgets the layer; the next use builds it from the environment again.
void ResetForTesting();

}  // namespace wnaspi
