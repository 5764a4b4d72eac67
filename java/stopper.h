// Ending the application: the stopper that makes it call System.exit(0).
#pragma once

#include "config/settings.h"
#include "java/jvm.h"

// Attaches the calling native thread to jvm as "Trevalo stopper thread" and calls
// System.exit(0). Normally does not return: the virtual machine ends the process through its
// exit hook. Returns false after a reported failure, true if System.exit returned.
bool stop_java_application(const launcher_settings &settings, const jvm_record &jvm);
