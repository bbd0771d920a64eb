#include "input/filestack.h"

#include <sys/stat.h>

#include <climits>
#include <cstdio>

#include "foundation/error.h"

namespace {
/// Read block of every input file: large enough that bulk scans rarely refill.
constexpr std::size_t BlockSize = 1 << 16;
}  // namespace

FileLink::FileLink(const char* name, std::unique_ptr<FileLink> below)
    : below_(std::move(below)), name_(name), stream_(&buf_) {
  Open();
}

FileLink::FileLink(const FileLink* other) : name_(other->name_), stream_(&buf_) {
  Open();
}

void FileLink::Open() {
  std::FILE* probe = std::fopen(name_.c_str(), "r");
  if (!probe) OLVU_FATAL("Cannot find input file \"" << name_ << "\"\n");
  std::fclose(probe);
  // A directory opens but reads as empty: it would be passed over without a word.
  struct stat st;
  const bool known = ::stat(name_.c_str(), &st) == 0;
  if (known && S_ISDIR(st.st_mode)) OLVU_FATAL("Cannot open input file \"" << name_ << "\"\n");
  size_ = known && S_ISREG(st.st_mode) ? (long long)st.st_size : -1;
  if (known) {
    device_ = st.st_dev;
    inode_ = st.st_ino;
  }
  block_ = std::make_unique<char[]>(BlockSize);
  buf_.pubsetbuf(block_.get(), BlockSize);
  if (!buf_.open(name_, std::ios::in | std::ios::binary))
    OLVU_FATAL("Cannot open input file \"" << name_ << "\"\n");
}

long long FileLink::Remaining() {
  if (size_ < 0) return LLONG_MAX;  // a pipe or device: its length is not known
  auto pos = buf_.pubseekoff(0, std::ios::cur, std::ios::in);
  return pos < 0 ? LLONG_MAX : size_ - (long long)pos;
}

void FileLink::PrintName(std::ostream& os) const {
  for (const FileLink* l = this; l; l = l->below_.get()) os << "\t" << l->name_ << "\n";
}

FileStack::FileStack(const char* name) : top_(std::make_unique<FileLink>(name, nullptr)) {}

FileStack::FileStack(std::unique_ptr<FileLink> link) : top_(std::move(link)) {}

FileStack::~FileStack() {
  // Top down, one link at a time, rather than through a chain of nested destructors.
  while (top_) top_ = std::move(top_->below_);
}

void FileStack::include(const char* name) {
  // A file that includes itself, directly or through others, would be read
  // again and again until the system runs out of open files.
  struct stat st;
  if (::stat(name, &st) == 0) {
    for (const FileLink* l = top_.get(); l; l = l->below_.get())
      if (l->inode_ == (unsigned long long)st.st_ino && l->device_ == (unsigned long long)st.st_dev)
        OLVU_FATAL("Input file \"" << name << "\" includes itself\n");
  }
  int depth = 0;
  for (const FileLink* l = top_.get(); l->below_; l = l->below_.get()) ++depth;
  if (depth >= MaxDepth)
    OLVU_FATAL("Input file \"" << name << "\" included more than " << MaxDepth << " levels deep\n");
  top_ = std::make_unique<FileLink>(name, std::move(top_));
}

void FileStack::Pop() {
  // The data file itself stays, so that nothing dangles while the run ends.
  if (!top_->below_) OLVU_FATAL("Unexpected end of file " << top_->name_ << " found\n");
  top_ = std::move(top_->below_);
}

void FileStack::PrintName(std::ostream& os) const {
  if (!top_) return;
  os << " Current input file stack:\n\n";
  top_->PrintName(os);
  os << "\n";
}
