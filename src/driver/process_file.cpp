// ProcessFile: runs the chain of steps on one picture, writes each finished
// update image into Output and cleans Temp up again.
//
// The chain runs in memory: each step gets the bytes its input files would
// hold and gives the bytes of its outputs, with the codes and log lines it
// has as a file step. The log still names the files, as the steps' own
// names for what they pass on. Temp gets what a run has always left there,
// the last serial update image, and the clean-up still removes the other
// files of the chain, should an earlier version have left them.
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "driver/driver.h"
#include "fileio/file.h"
#include "format/bitmap.h"
#include "format/pipeline_files.h"
#include "format/receiver_models.h"
#include "inspect/inspect.h"
#include "log/activity_log.h"
#include "steps/step_result.h"
#include "steps/steps.h"

namespace kws {

namespace {

using in_memory::Bytes;

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
  Chain(const ImageCheck& check, RunView& view) : check_(check), view_(view) {}
  int32_t result() const { return result_; }

  template <class Run>
  void Step(const std::string& name, const std::vector<std::string>& ins, const std::vector<std::string>& outs,
            Run&& run) {
    if (result_ != kStepOk) return;
    result_ = run();
    WriteLog(StepLine(name, result_, ins, outs));
  }

  // Writing an image into Output that fails, or whose written bytes do not
  // read back as a sound image, stops the chain like a failing step. The
  // check reads the file before it takes its final name, so an image that
  // the tool itself cannot read never lands in Output, and an earlier one
  // stays. The error line says "CopyFile", as it has since the images were
  // copied there from Temp.
  void Write(const Bytes& image, const std::string& destination) {
    if (result_ != kStepOk) return;
    try {
      ReplaceFileWith(destination, image, [this](const std::string& written) { return Check(written); });
      view_.ImageWritten(destination, image);
    } catch (const ContentFault& e) {
      Fail("Verify", PrintableName(destination), e);
    } catch (const std::exception& e) {
      Fail("CopyFile", PrintableName(destination), e);
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

  void Fail(const char* operation, const std::string& argument, const std::exception& failure) {
    const std::string text = LoggedText(failure);
    LogStepFailure({.operation = operation,
                    .code = kStepFailed,
                    .text = text,
                    .reason = ReasonOf(failure),
                    .line = std::string("ERROR: ") + operation + "(" + argument + "), Msg=" + text});
    result_ = kStepFailed;
  }

  const ImageCheck& check_;
  RunView& view_;
  int32_t result_ = kStepOk;
};

// A file larger than a bitmap of the picture can be (kMaxBitmapFileBytes) is
// refused before anything reads it; so is anything that is not a regular
// file (a pipe would keep the run waiting).

std::string CheckPictureFile(const std::string& picture) {
  struct stat st {};
  if (::stat(picture.c_str(), &st) != 0) return {};  // a missing file is the preview's to report
  if (!S_ISREG(st.st_mode)) {
    return "Cannot open file " + PrintableName(picture) + ": " + NotRegularFileReason(st.st_mode);
  }
  if (static_cast<uint64_t>(st.st_size) <= kMaxBitmapFileBytes) return {};
  return "Picture file is too large: " + std::to_string(st.st_size) + " bytes; a 720x576 8-bit bitmap is under 1 MB";
}

void CleanUpTemp() {
  for (const char* name : files::kIntermediates) {
    if (FileExists(name)) DeleteFile(name);
  }
}

}  // namespace

struct ChainBytes {
  StoredBitmap bitmap;  // convbmp: the colour table and the raw picture
  Bytes rows, member, data, welcome, partition, usb, serial;
};

Driver::Driver(RunView& view, WorkingFolders folders)
    : view_(view), folders_(std::move(folders)), bytes_(std::make_unique<ChainBytes>()) {}

Driver::~Driver() = default;

std::string CheckUpdateImage(const std::string& path) { return FindFault(path); }

std::string CheckUpdateImage(const std::string& path, WelcomeDecodeCache& cache) { return FindFault(path, &cache); }

std::vector<OutputImage> OutputImages(const std::string& output_folder, const std::string& base_name) {
  std::vector<OutputImage> images;
  for (const UsbModel* model : ModelsInRunOrder()) {
    for (const char* kind : files::kOutputKinds) {
      images.push_back({output_folder + "/" + files::OutputImageName(base_name, *model, kind), model->receiver,
                        model->serial_model, kind == std::string_view(files::kUsbImage)});
    }
  }
  return images;
}

std::string BaseName(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  const size_t dot = name.find_last_of('.');
  if (dot != std::string::npos) name.erase(dot);
  return name;
}

int32_t Driver::RunChain(const std::string& picture, const std::string& base_name, const ImageCheck& check) {
  const auto output_name = [&](const UsbModel& model, const char* kind) {
    return folders_.output + "/" + files::OutputImageName(base_name, model, kind);
  };
  Chain chain(check, view_);
  ChainBytes& b = *bytes_;
  chain.Step("convbmp", {PrintableName(picture)}, {files::kColorTable, files::kRawPicture},
             [&] { return in_memory::convbmp(picture, files::kColorTable, files::kRawPicture, b.bitmap); });
  chain.Step("rawconv", {files::kRawPicture}, {files::kPixelRows}, [&] {
    return in_memory::rawconv(files::kRawPicture, RawDimensionsOf(b.bitmap.header), b.bitmap.rows, b.rows);
  });
  chain.Step("gzip_f9", {files::kPixelRows}, {files::kGzipMember},
             [&] { return in_memory::gzip_f9(files::kPixelRows, b.rows, b.member); });
  chain.Step("dd", {files::kColorTable, files::kGzipMember}, {files::kWelcomeData},
             [&] { return in_memory::dd(ColorTable(b.bitmap), b.member, b.data); });
  chain.Step("addheader", {files::kWelcomeData}, {files::kProvisionalWelcome, files::kWelcomeImage},
             [&] { return in_memory::addheader(b.data, b.welcome); });

  // A model whose partition size equals the previous one's reuses that
  // partition image.
  uint32_t partition_made = 0;
  for (const UsbModel* model : ModelsInRunOrder()) {
    if (model->partition_size != partition_made) {
      chain.Step("appendbin", {model->partition_text, files::kWelcomeImage}, {files::kPartitionImage},
                 [&] { return in_memory::appendbin(model->partition_size, b.welcome, b.partition); });
      partition_made = model->partition_size;
    }
    chain.Step(model->step, {files::kPartitionImage}, {files::kUsbImage},
               [&] { return in_memory::mkusbimg(*model, b.partition, b.usb); });
    chain.Write(b.usb, output_name(*model, files::kUsbImage));
    chain.Step("mkserialimg", {files::kUsbImage, model->serial_model}, {files::kSerialImage},
               [&] { return in_memory::mkserialimg(b.usb, files::kSerialImage, model->serial_model, b.serial); });
    chain.Write(b.serial, output_name(*model, files::kSerialImage));
  }
  return chain.result();
}

// A picture named relative to the current folder, as the user stands in it:
// the chain itself runs in Temp.
std::string AbsolutePicturePath(const std::string& picture) {
  const std::filesystem::path path(picture);
  if (path.is_absolute()) return picture;
  std::error_code ec;
  const std::filesystem::path absolute = std::filesystem::absolute(path, ec);
  return ec ? picture : absolute.lexically_normal().string();
}

int32_t Driver::ProcessFile(const std::string& named) {
  if (named.empty()) return kStepTooBig;
  const std::string picture = AbsolutePicturePath(named);

  const auto fail = [&](const std::string& message, FailureCause cause = FailureCause::kCaught) {
    view_.SetStatus("ERROR: " + message);
    LogStepFailure({.operation = "ProcessFile",
                    .code = kStepFailed,
                    .cause = cause,
                    .text = message,
                    .line = "ERROR: ProcessFile(" + PrintableName(picture) + "), Msg=" + message});
    return kStepFailed;
  };

  if (const std::string why = CheckPictureFile(picture); !why.empty()) {
    return fail(why, FailureCause::kNotAPictureFile);
  }
  if (const std::string why = view_.ShowPicture(picture); !why.empty()) return fail(why, FailureCause::kNotShown);
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

PictureOutcome Driver::ProcessPicture(const std::string& picture) {
  FailureRecord record;
  PictureOutcome outcome{picture, ProcessFile(picture), std::nullopt};
  if (outcome.Made()) return outcome;
  outcome.failure = record.first();
  // A step that ends with a code of its own logs only its step line.
  if (!outcome.failure) {
    outcome.failure = StepFailure{.operation = "ProcessFile",
                                  .code = outcome.result,
                                  .text = "a step ended with code " + std::to_string(outcome.result)};
  }
  return outcome;
}

}  // namespace kws
