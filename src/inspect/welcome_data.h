// The data behind the welcome header: the picture's colour table and its gzip
// member, joined without anything between them.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "format/bitmap.h"
#include "inspect/fault.h"

namespace kws {

namespace inspect {

struct WelcomeContent {
  Picture8 picture;
  std::vector<std::string> layers;  // colour table, gzip member, picture
};

}  // namespace inspect

// The last welcome data that decoded sound, with what it holds. The six
// images of a run all wrap the same welcome data; a run that checks them
// with one cache decodes that data once. It is compared byte for byte, so
// the same bytes always get the same verdict, only without a second decode.
class WelcomeDecodeCache {
 public:
  using Content = std::shared_ptr<const inspect::WelcomeContent>;
  // What the data holds, when it is the data kept; else null.
  Content Find(inspect::Bytes data) const;
  void Keep(inspect::Bytes data, Content content);

 private:
  std::vector<uint8_t> data_;
  Content content_;
};

namespace inspect {

// Finds where the colour table ends and the gzip member begins, checks both
// and decodes the picture. Throws Fault. With a cache, data that decoded
// sound before is taken from it, and sound data is kept in it.
std::shared_ptr<const WelcomeContent> ReadWelcomeData(Bytes data, WelcomeDecodeCache* cache = nullptr);

}  // namespace inspect

}  // namespace kws
