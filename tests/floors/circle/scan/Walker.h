#pragma once

#include "app/State.h"
