// A file of the link that reaches up into the run: the layering check must name it.
#pragma once

#include "link/meterframe.h"
#include "acquire/meterrun.h"
