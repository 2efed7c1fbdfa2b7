// The steps that turn a bitmap into receiver update images, in pipeline order.
// Each takes file names (relative names refer to the current directory), logs
// its own errors and returns a step result code (0 is success).
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "format/bitmap.h"
#include "format/raw_picture.h"
#include "format/receiver_models.h"

namespace kws {

// bitmap -> colour table (R,G,B triples) + raw picture (BE width, BE height, rows as stored).
int32_t convbmp(const std::string& bitmap, const std::string& colortable, const std::string& raw);
// convbmp's refusals: each names the first rule of the bitmap's header that
// is broken.
inline constexpr int32_t kConvbmpBitDepthTooHigh = -11;  // more than 8 bits per pixel
inline constexpr int32_t kConvbmpCompressed = -12;
inline constexpr int32_t kConvbmpWrongSize = -13;  // not 720 x 576

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

// The same steps with their intermediate files kept in memory, for the
// per-picture run. Each takes the bytes its input files would hold and gives
// the bytes its output files would hold, with the same checks, the same
// result codes and the same log lines; the names a step would read or write
// are given where they show in its refusals or log lines. Outputs keep their
// memory from call to call, so a batch reuses it picture after picture.
namespace in_memory {

using Bytes = std::vector<uint8_t>;
using ByteView = std::span<const uint8_t>;

// Reads the bitmap file into read, which then holds what convbmp's two files
// would: the colour table (ColorTable(read)) and the raw picture (the
// header's dimensions and the rows). colortable and raw name those files.
int32_t convbmp(const std::string& bitmap, const std::string& colortable, const std::string& raw, StoredBitmap& read);
// The raw picture given as its dimensions and its rows.
int32_t rawconv(const std::string& input, RawDimensions dimensions, ByteView rows, Bytes& output);
// The member stores source's bare file name.
int32_t gzip_f9(const std::string& source, ByteView data, Bytes& member);
int32_t dd(ByteView first, ByteView second, Bytes& output);
int32_t addheader(ByteView input, Bytes& welcome);
int32_t appendbin(uint32_t size, ByteView input, Bytes& output);
int32_t mkusbimg(const UsbModel& model, ByteView input, Bytes& output);
// Writes the serial image to output as well: a run leaves the last one there.
int32_t mkserialimg(ByteView input, const std::string& output, const std::string& model, Bytes& serial);

}  // namespace in_memory

}  // namespace kws
