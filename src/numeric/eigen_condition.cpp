#include "eigen_condition.h"
