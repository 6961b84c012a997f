#include "dual_model.h"
