// What the check of the floors must refuse: an include that climbs out of its folder.
#include "../app/main_window.h"
