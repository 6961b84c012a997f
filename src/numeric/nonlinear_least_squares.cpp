#include "nonlinear_least_squares.h"
