#include "platform/aspi/layer_instance.h"

#include <mutex>

namespace wnaspi {
namespace {

std::mutex g_mutex;
std::shared_ptr<AspiLayer> g_layer;

}  // namespace

std::shared_ptr<AspiLayer> CurrentLayer() {
  std::lock_guard lock(g_mutex);
  if (!g_layer) g_layer = std::make_shared<AspiLayer>(ParseConfig(EnvironmentVariables()), sg::LinuxSgSystem());
  return g_layer;
}

void ConfigureForTesting(const Variables& variables, std::shared_ptr<sg::SgSystem> sg) {
  auto layer = std::make_shared<AspiLayer>(ParseConfig(variables), std::move(sg));
  std::lock_guard lock(g_mutex);
  g_layer = std::move(layer);
}

void ResetForTesting() {
  std::shared_ptr<AspiLayer> old;
  std::lock_guard lock(g_mutex);
  old.swap(g_layer);
}

}  // namespace wnaspi
