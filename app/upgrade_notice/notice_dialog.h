#pragma once
// The upgrade notice: the application's text, "Upgrade", "Not now" and the
// "Don't show this at start-up" box, shown modally.

#include <QString>

class QWidget;

namespace novaleaf {

// NOVALEAF_UPGRADE, or NOVALEAF_DECLINED for "Not now", Escape, the close
// box or an owner destroyed meanwhile. The start-up box is saved when the
// user changed it, whatever the answer.
int AskForUpgrade(const QString& text, QWidget* owner);

}  // namespace novaleaf
