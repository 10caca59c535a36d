#pragma once

#include "duplicates/Groups.h"
