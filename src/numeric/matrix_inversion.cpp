#include "matrix_inversion.h"
