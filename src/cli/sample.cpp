// sample: the built-in sample picture or the TV test card, as a bitmap.

#include <cstdint>
#include <vector>

#include "cli/commands.h"
#include "cli/output_files.h"
#include "fit/bitmap_file.h"
#include "fit/tv_test_card.h"
#include "sample/sample_picture.h"

namespace kws::cli {

namespace {

// The option of sample alone.
constexpr std::string_view kTestCard = "--test-card";

// A file that already holds the very sample or card is replaced without
// --force: nothing is lost.
int SampleCommand(Invocation& inv) {
  const bool card = inv.Has(kTestCard);
  const Picture8 picture = card ? MakeTestCard() : MakeSamplePicture();
  const MadeFor purpose = card ? MadeFor::kTestCard : MadeFor::kSample;
  const std::vector<uint8_t> bytes = EncodeBitmap8(picture);
  const DestinationCheck target = CheckDestination(inv.args[0], {}, purpose, bytes);
  if (RefuseOutput(inv, inv.args[0], target)) return 1;
  return WriteBitmap(inv, inv.args[0], picture, card ? "Test card" : "Sample picture", target);
}

}  // namespace

const CommandSpec& SampleCommandSpec() {
  static const CommandSpec entry = {
      .name = "sample",
      .arguments = "OUT.bmp",
      .min_args = 1,
      .max_args = 1,
      .summary = "write the built-in sample picture",
      .options = {{kTestCard, 0, "", "write a test card instead: overscan, safe areas and the TV's shape at a glance"},
                  {option::kForce, 0, "", "replace OUT.bmp even when this program did not write it there"}},
      .example = "kestro-welcome-cli sample sample.bmp",
      .more_help = {},
      .check = {},
      .run = SampleCommand};
  return entry;
}

}  // namespace kws::cli
