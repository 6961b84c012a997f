#include "fit_driver.h"
