// The steps that turn a bitmap into receiver update images, in pipeline order.
// Each takes file names (relative names refer to the current directory), logs
// its own errors and returns a step result code (0 is success).
#pragma once

#include <cstdint>
#include <string>

#include "format/receiver_models.h"

namespace kws {

// bitmap -> colour table (R,G,B triples) + raw picture (BE width, BE height, rows as stored).
int32_t convbmp(const std::string& bitmap, const std::string& colortable, const std::string& raw);

// raw picture -> bare pixel rows, top row first.
int32_t rawconv(const std::string& input, const std::string& output);

// source -> one gzip member (fixed header, stored name, raw deflate, trailer).
int32_t gzip_f9(const std::string& source, const std::string& destination);

// first + second -> output, joined.
int32_t dd(const std::string& first, const std::string& second, const std::string& output);

// input -> welcome image: 16-byte welcome header (image CRC, length, 1, 0) + input.
int32_t addheader(const std::string& input, const std::string& temporary, const std::string& output);

// input -> exactly size bytes: input padded with 0xFF.
int32_t appendbin(uint32_t size, const std::string& input, const std::string& output);

// partition image -> USB update image for one receiver model.
int32_t mkusbimg(const UsbModel& model, const std::string& input, const std::string& output);
int32_t mkusbimg200(const std::string& input, const std::string& output);
int32_t mkusbimg300(const std::string& input, const std::string& output);
int32_t mkusbimg400(const std::string& input, const std::string& output);

// file -> serial update image with a 64-byte model-name header.
int32_t mkserialimg(const std::string& input, const std::string& output, const std::string& model);

}  // namespace kws
