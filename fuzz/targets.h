// The bodies of the fuzz targets, shared by the libFuzzer programs and by the
// replay test that runs every saved crash input as a regression test.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kws::fuzz {

void Convbmp(const uint8_t* data, size_t size);   // any bytes as a bitmap file
void Rawconv(const uint8_t* data, size_t size);   // any bytes as a raw picture file
void Pipeline(const uint8_t* data, size_t size);  // any bytes as a picture through ProcessFile
void Inspect(const uint8_t* data, size_t size);   // any bytes as an update image
void Import(const uint8_t* data, size_t size);    // any bytes as a picture to import
void SvgCost(const uint8_t* data, size_t size);   // any bytes as an SVG's text, counted before drawing

}  // namespace kws::fuzz
