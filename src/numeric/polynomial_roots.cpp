#include "polynomial_roots.h"
