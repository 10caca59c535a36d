#pragma once

#include "scan/Walker.h"
