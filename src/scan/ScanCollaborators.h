// What the page scanner needs from the rest of the program, one small
// interface each, so that the desktop program and the headless velmora-get
// can both drive it. Every call is synchronous, on the loop's thread.
#pragma once

#include <string>
#include <vector>

namespace scan {

// The browser's address box: the address of the page last completed, or
// whatever the user has typed since.
class AddressBox {
 public:
  virtual ~AddressBox() = default;
  virtual std::string AddressText() const = 0;
};

// The download manager's Add: one request ("name,address") per call.
class DownloadRequestSink {
 public:
  virtual ~DownloadRequestSink() = default;
  virtual void Add(std::string request) = 0;
};

// The download selection prompt: shows the entries and, on return, leaves in
// `entries` only those the user kept checked, in their earlier order.
class DownloadPrompt {
 public:
  virtual ~DownloadPrompt() = default;
  virtual void ShowDownloadPrompt(std::vector<std::string>& entries) = 0;
};

// Re-lists the download folders view.
class DownloadFolderLister {
 public:
  virtual ~DownloadFolderLister() = default;
  virtual void ListDownloadFolders() = 0;
};

// The download queue's header ("Download Queue (n)").
class QueueHeader {
 public:
  virtual ~QueueHeader() = default;
  virtual void UpdateQueueHeader() = 0;
};

// The main window's QuitRequested flag.
class QuitState {
 public:
  virtual ~QuitState() = default;
  virtual bool QuitRequested() const = 0;
};

}  // namespace scan
