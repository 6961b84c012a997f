#include "point_preparation.h"
