#pragma once
// The application creates the engine control by class id, so the control
// must be registered for the user. A program started from its desktop entry
// registers the engine installed with it when no usable registration is
// there yet; a registration that names an existing library is left alone,
// unless the program is installed and the registration names another
// engine than its own (host/engine_registration.h).

#include <QString>

// Returns an empty text on success, else what went wrong.
QString EnsureEngineRegistered();
