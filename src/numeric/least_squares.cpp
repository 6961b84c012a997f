#include "least_squares.h"
