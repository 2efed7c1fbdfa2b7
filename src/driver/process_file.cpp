// ProcessFile: runs the fixed chain of steps on fixed file names in Temp,
// copies each finished update image into Output and cleans Temp up again.
#include <sys/stat.h>

#include <array>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "driver/driver.h"
#include "fileio/file.h"
#include "format/pipeline_files.h"
#include "format/receiver_models.h"
#include "inspect/inspect.h"
#include "log/activity_log.h"
#include "steps/step_result.h"
#include "steps/steps.h"

namespace kws {

namespace {

// "name: Ret=code, In=a, In=b, Out=c"
std::string StepLine(const std::string& name, int32_t code, const std::vector<std::string>& ins,
                     const std::vector<std::string>& outs) {
  std::string line = name + ": Ret=" + std::to_string(code);
  for (const auto& in : ins) line += ", In=" + in;
  for (const auto& out : outs) line += ", Out=" + out;
  return line;
}

// Walks the chain: each step runs only while every earlier one returned 0,
// and logs its line whatever its code.
class Chain {
 public:
  explicit Chain(const ImageCheck& check) : check_(check) {}
  int32_t result() const { return result_; }

  void Step(const std::string& name, const std::vector<std::string>& ins, const std::vector<std::string>& outs,
            const std::function<int32_t()>& run) {
    if (result_ != kStepOk) return;
    result_ = run();
    WriteLog(StepLine(name, result_, ins, outs));
  }

  // A copy into Output that fails, or whose written bytes do not read back
  // as a sound image, stops the chain like a failing step. The check reads
  // the copy before it takes its final name, so an image that the tool itself
  // cannot read never lands in Output, and an earlier one stays.
  void Copy(const std::string& file, const std::string& destination) {
    if (result_ != kStepOk) return;
    try {
      CopyFileReplacing(file, destination, [this](const std::string& written) { return Check(written); });
    } catch (const ContentFault& e) {
      Fail("Verify", PrintableName(destination), e.what());
    } catch (const std::exception& e) {
      Fail("CopyFile", PrintableName(destination), e.what());
    }
  }

 private:
  std::string Check(const std::string& written) const {
    try {
      return check_(written);
    } catch (const std::exception& e) {
      return e.what();
    }
  }

  void Fail(const char* operation, const std::string& argument, const std::string& message) {
    WriteLog(std::string("ERROR: ") + operation + "(" + argument + "), Msg=" + message);
    result_ = kStepFailed;
  }

  const ImageCheck& check_;
  int32_t result_ = kStepOk;
};

// A 720 x 576, 8-bit bitmap is well under a megabyte, whatever its header
// size. A far larger file is not one, and is refused before anything reads
// it; so is anything that is not a regular file (a pipe would keep the run
// waiting).
constexpr uintmax_t kMaxPictureFileSize = 16 * 1024 * 1024;

std::string CheckPictureFile(const std::string& picture) {
  struct stat st {};
  if (::stat(picture.c_str(), &st) != 0) return {};  // a missing file is the preview's to report
  if (!S_ISREG(st.st_mode)) {
    return "Cannot open file " + PrintableName(picture) + ": " + NotRegularFileReason(st.st_mode);
  }
  if (static_cast<uintmax_t>(st.st_size) <= kMaxPictureFileSize) return {};
  return "Picture file is too large: " + std::to_string(st.st_size) +
         " bytes; a 720x576 8-bit bitmap is under 1 MB";
}

void CleanUpTemp() {
  for (const char* name : files::kIntermediates) {
    if (FileExists(name)) DeleteFile(name);
  }
}

}  // namespace

std::string CheckUpdateImage(const std::string& path) { return FindFault(path); }

std::string CheckUpdateImage(const std::string& path, WelcomeDecodeCache& cache) { return FindFault(path, &cache); }

std::string BaseName(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  const size_t dot = name.find_last_of('.');
  if (dot != std::string::npos) name.erase(dot);
  return name;
}

int32_t Driver::RunChain(const std::string& picture, const std::string& base_name, const ImageCheck& check) {
  using namespace files;
  const auto output_name = [&](const UsbModel& model, const char* kind) {
    return folders_.output + "/" + OutputImageName(base_name, model, kind);
  };
  Chain chain(check);
  chain.Step("convbmp", {PrintableName(picture)}, {kColorTable, kRawPicture},
             [&] { return convbmp(picture, kColorTable, kRawPicture); });
  chain.Step("rawconv", {kRawPicture}, {kPixelRows}, [] { return rawconv(kRawPicture, kPixelRows); });
  chain.Step("gzip_f9", {kPixelRows}, {kGzipMember}, [] { return gzip_f9(kPixelRows, kGzipMember); });
  chain.Step("dd", {kColorTable, kGzipMember}, {kWelcomeData},
             [] { return dd(kColorTable, kGzipMember, kWelcomeData); });
  chain.Step("addheader", {kWelcomeData}, {kProvisionalWelcome, kWelcomeImage},
             [] { return addheader(kWelcomeData, kProvisionalWelcome, kWelcomeImage); });

  // A model whose partition size equals the previous one's reuses that
  // partition image.
  uint32_t partition_made = 0;
  for (const UsbModel* model : ModelsInRunOrder()) {
    const uint32_t partition_size = model->partition_size;
    if (partition_size != partition_made) {
      chain.Step("appendbin", {model->partition_text, kWelcomeImage}, {kPartitionImage},
                 [&] { return appendbin(partition_size, kWelcomeImage, kPartitionImage); });
      partition_made = partition_size;
    }
    chain.Step(model->step, {kPartitionImage}, {kUsbImage}, [&] { return mkusbimg(*model, kPartitionImage, kUsbImage); });
    chain.Copy(kUsbImage, output_name(*model, kUsbImage));
    chain.Step("mkserialimg", {kUsbImage, model->serial_model}, {kSerialImage},
               [&] { return mkserialimg(kUsbImage, kSerialImage, model->serial_model); });
    chain.Copy(kSerialImage, output_name(*model, kSerialImage));
  }
  return chain.result();
}

int32_t Driver::ProcessFile(const std::string& picture) {
  if (picture.empty()) return kStepTooBig;

  const auto fail = [&](const std::string& message) {
    view_.SetStatus("ERROR: " + message);
    WriteLog("ERROR: ProcessFile(" + PrintableName(picture) + "), Msg=" + message);
    return kStepFailed;
  };

  if (const std::string why = CheckPictureFile(picture); !why.empty()) return fail(why);
  if (const std::string why = view_.ShowPicture(picture); !why.empty()) return fail(why);
  view_.SetStatus(PrintableName(picture));
  view_.ProcessEvents();

  const std::string base_name = BaseName(picture);
  std::string saved;
  try {
    saved = GetCurrentDir();
  } catch (const std::exception& e) {
    return fail(e.what());
  }
  // The run's own decode cache: the images it checks share their welcome data.
  WelcomeDecodeCache decode_cache;
  const ImageCheck default_check = [&decode_cache](const std::string& written) {
    return CheckUpdateImage(written, decode_cache);
  };
  int32_t result = kStepOk;
  try {
    SetCurrentDir(folders_.temp);
    result = RunChain(picture, base_name, image_check_ ? image_check_ : default_check);
    CleanUpTemp();
    view_.SetStatus(result == kStepOk ? kStatusDone : kStatusDoneWithErrors);
    view_.ProcessEvents();
  } catch (const std::exception& e) {
    result = fail(e.what());
  }
  // A directory that cannot be restored is the caller's to report.
  SetCurrentDir(saved);
  return result;
}

}  // namespace kws
