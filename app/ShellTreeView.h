#pragma once
// The folder tree: every folder of the file system under one root node, with
// the platform's folder icons and no watching of the file system.
#include <QTreeView>
#include <functional>
#include <optional>
#include <string>

class QFileSystemModel;

class TShellTreeView : public QTreeView {
 public:
  explicit TShellTreeView(QWidget* parent = nullptr);

  // Raised after a primary-button click has been handled by the tree (the
  // node under the pointer is then selected), wherever the click landed.
  std::function<void()> OnClick;

  // Path of the selected folder, as the file system names it; none when no
  // folder is selected.
  std::optional<std::string> SelectedPath() const;
  // Selects the folder at path (made known to the tree first); false when
  // the tree has no node for it.
  bool SelectPath(const std::string& path);
  QFileSystemModel& Model() const { return *FModel; }

 protected:
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  QFileSystemModel* FModel;
};
