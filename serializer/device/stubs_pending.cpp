// Placeholder bodies until the device layer lands (this file is removed then).
#include "devicedefaults.h"
#include "eepromimage.h"
#include "mvdriver.h"
#include "readerase.h"
