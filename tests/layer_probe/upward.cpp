// Built only by the test that makes sure a lower floor cannot see a higher one: this
// library links the calendar floor alone, so the main window's header must not be found.
#include "app/main_window.h"
