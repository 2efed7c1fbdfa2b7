// The layouts of the welcome, USB and serial images under their earlier
// name; they live in format/, which new code includes.
#pragma once

#include "format/serial_image.h"
#include "format/usb_image.h"
#include "format/welcome_image.h"
