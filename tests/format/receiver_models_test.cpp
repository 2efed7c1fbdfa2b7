// The table of receiver models against the vectors written out for the tests:
// every row has its vector, every vector its row, and each row's fields are
// what the vector says. A new model is one row in the table and one vector.
#include "format/receiver_models.h"

#include <algorithm>
#include <set>
#include <string>

#include "format/pipeline_files.h"
#include "format/usb_image.h"
#include "format/welcome_image.h"
#include "support/model_vectors.h"
#include "support/test_support.h"

namespace kws {
namespace {

using test::Bytes;
using test::kModelVectors;
using test::VectorFor;

TEST(ReceiverModels, EveryRowHoldsWhatItsVectorSays) {
  std::set<std::string> receivers;
  for (const UsbModel& model : kUsbModels) {
    SCOPED_TRACE(model.receiver);
    const test::ModelVector& v = VectorFor(model);
    receivers.insert(model.receiver);
    EXPECT_STREQ(model.step, v.step);
    EXPECT_EQ(model.partition_size, v.partition_size);
    EXPECT_STREQ(model.partition_text, v.size_text);
    EXPECT_STREQ(model.too_big_line, v.too_big);
    EXPECT_STREQ(model.serial_model, v.serial_name);
    EXPECT_EQ(model.run_order, v.run_position);
    EXPECT_EQ(files::OutputImageName("logo", model, files::kUsbImage),
              "logo_" + std::string(v.receiver) + "_usb_welcome.img");
    const UsbHeader header = MakeUsbHeader(model, 0, 0);
    EXPECT_EQ(Bytes(header.begin() + usb::kModelWord1, header.begin() + usb::kPayloadOffset), test::Hex(v.words));
    Bytes name_field = test::ToBytes(v.image_name);
    name_field.resize(32, 0x00);
    EXPECT_EQ(Bytes(header.begin() + usb::kImageName, header.begin() + usb::kImageName + 32), name_field);
  }
  EXPECT_EQ(receivers.size(), std::size(kModelVectors)) << "a vector without a row, or two rows of one receiver";
  for (size_t i = 0; i < std::min(kUsbModels.size(), std::size(kModelVectors)); ++i) {
    EXPECT_STREQ(kUsbModels[i].receiver, kModelVectors[i].receiver) << "the vectors follow the rows' order";
  }
}

TEST(ReceiverModels, RunOrderAndLimitsFollowFromTheRows) {
  const auto order = ModelsInRunOrder();
  for (size_t i = 0; i < order.size(); ++i) EXPECT_EQ(VectorFor(*order[i]).run_position, static_cast<int>(i));
  uint32_t smallest = UINT32_MAX, largest = 0;
  for (const test::ModelVector& v : kModelVectors) {
    smallest = std::min(smallest, v.partition_size);
    largest = std::max(largest, v.partition_size);
  }
  EXPECT_EQ(SmallestPartition(), smallest);
  EXPECT_EQ(LargestPartition(), largest);
  // The welcome image fits the smallest partition with its header.
  EXPECT_EQ(welcome::kMaxDataLength + welcome::kHeaderSize, smallest);
}

}  // namespace
}  // namespace kws
