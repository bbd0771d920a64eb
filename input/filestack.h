// The stack of open input files: the data file at the bottom, each include
// file above the file that included it; cards are always read from the top.
#pragma once

#include <fstream>
#include <istream>
#include <memory>
#include <ostream>
#include <string>

/// File buffer whose get area bulk readers may scan in place.
class FileBuf : public std::filebuf {
 public:
  /// Next unread character of the get area.
  const char* cur() const { return gptr(); }
  /// One past the last character of the get area.
  const char* end() const { return egptr(); }
  /// Consumes n characters of the get area (n at most end() - cur()).
  void advance(std::ptrdiff_t n) { gbump(int(n)); }
};

/// One open input file and the link to the file that included it.
class FileLink {
 public:
  /// Opens name (fatal when it cannot be found or opened, or is a directory); below, the
  /// including file, is taken over.
  FileLink(const char* name, std::unique_ptr<FileLink> below);
  /// Opens other's file again at its start, with no link below.
  explicit FileLink(const FileLink* other);
  FileLink(const FileLink&) = delete;
  FileLink& operator=(const FileLink&) = delete;

  /// Writes this file's name and those below it, one per line after a TAB.
  void PrintName(std::ostream& os) const;
  /// The input stream of this file.
  std::istream* Stream() { return &stream_; }
  /// The buffer of this file.
  FileBuf* Buffer() { return &buf_; }
  /// The file name.
  const char* Name() const { return name_.c_str(); }
  /// The file that included this one (null for the data file).
  FileLink* Below() const { return below_.get(); }
  /// Characters of the file not read yet (LLONG_MAX when its size is not known).
  long long Remaining();

 private:
  friend class FileStack;
  /// Probes and opens the file.
  void Open();

  std::unique_ptr<FileLink> below_;  ///< the including file, or null
  std::string name_;    ///< the file name
  long long size_ = -1;  ///< size of the file when it was opened; -1 when not a regular file
  unsigned long long device_ = 0;  ///< device of the file (with inode_ its identity; 0 0 when unknown)
  unsigned long long inode_ = 0;   ///< inode of the file
  std::unique_ptr<char[]> block_;  ///< storage of buf_
  FileBuf buf_;            ///< the open file
  std::istream stream_;    ///< stream on buf_
};

/// Open input files, the most recently included on top; owns every link.
class FileStack {
 public:
  /// Stack holding the one file name.
  explicit FileStack(const char* name);
  /// Stack holding link.
  explicit FileStack(std::unique_ptr<FileLink> link);
  /// Closes and frees all links.
  ~FileStack();
  FileStack(const FileStack&) = delete;
  FileStack& operator=(const FileStack&) = delete;

  /// Deepest nesting of included files below the data file.
  static constexpr int MaxDepth = 100;

  /// Pushes the file name on top; a file that is open already, or nesting past MaxDepth, is fatal.
  void include(const char* name);
  /// Removes and closes the top file; popping the data file itself is fatal.
  void Pop();
  /// " Current input file stack:" and the names, top first (nothing when empty).
  void PrintName(std::ostream& os) const;
  /// The top link.
  FileLink* Top() const { return top_.get(); }

 private:
  std::unique_ptr<FileLink> top_;  ///< the file read from; it owns the files below it
};
