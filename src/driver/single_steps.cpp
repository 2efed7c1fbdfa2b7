#include "driver/single_steps.h"

#include "format/pipeline_files.h"
#include "format/receiver_models.h"
#include "log/activity_log.h"
#include "steps/steps.h"

namespace kws {
namespace {

std::string In(const std::string& folder, const char* file) { return folder + "/" + file; }

}  // namespace

const std::array<SingleStep, 7>& SingleSteps() {
  using S = std::string;
  static const std::array<SingleStep, 7> steps{{
      {"ButtonConvBmp", "convbmp -r -ct",
       [](const S& picture, const S& f) {
         return convbmp(picture, In(f, files::kColorTable), In(f, files::kRawPicture));
       }},
      {"ButtonRawConv", "mkwelcomeimg rawconv",
       [](const S&, const S& f) { return rawconv(In(f, files::kRawPicture), In(f, files::kPixelRows)); }},
      {"ButtonGZip", "GZip -f9",
       [](const S&, const S& f) {
         // The step itself does not log its result; the chain does, and so here.
         const int32_t code = gzip_f9(In(f, files::kPixelRows), In(f, files::kGzipMember));
         WriteLog("GZIP_f9: Ret=" + std::to_string(code));
         return code;
       }},
      {"ButtonDDwelcome", "dd welcome",
       [](const S&, const S& f) {
         return dd(In(f, files::kColorTable), In(f, files::kGzipMember), In(f, files::kWelcomeData));
       }},
      {"ButtonAddHeader", "mkwelcomeimg addheader",
       [](const S&, const S& f) {
         return addheader(In(f, files::kWelcomeData), In(f, files::kProvisionalWelcome), In(f, files::kWelcomeImage));
       }},
      {"ButtonAppendBin", "appendbin -bs=0x2000",
       [](const S&, const S& f) {
         return appendbin(kUsbModel400.partition_size, In(f, files::kWelcomeImage), In(f, files::kPartitionImage));
       }},
      {"Buttonmkusbimg", "mkdnimg -make usbimg",
       [](const S&, const S& f) {
         return mkusbimg(kUsbModel400, In(f, files::kPartitionImage), In(f, files::kUsbImage));
       }},
  }};
  return steps;
}

}  // namespace kws
