// The byte-order helpers under their earlier name; they live in
// format/byte_order.h, which new code includes.
#pragma once

#include "format/byte_order.h"
