#include "fit_statistics.h"
