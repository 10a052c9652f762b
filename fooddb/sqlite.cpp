#include "sqlite.h"
