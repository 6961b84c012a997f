#include "models.h"
