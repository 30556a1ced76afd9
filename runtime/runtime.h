// The window runtime: everything the library and the launcher use of it.
#pragma once

#include "clock.h"
#include "command_line.h"
#include "controller.h"
#include "dialogs.h"
#include "error_reporter.h"
#include "files.h"
#include "handles.h"
#include "ini.h"
#include "layout.h"
#include "lock.h"
#include "per_thread.h"
#include "picture.h"
#include "program.h"
#include "text.h"
#include "window.h"
