#pragma once
#include <QString>
#include <functional>

class QStandardItem;
class QStandardItemModel;

// The tree text format shared by the catalogue and library trees: one node per
// line in tree order, indented by one TAB per level, CR LF after each line.
namespace varnelo::tree {

// Replaces the model's contents with the file's tree. Lines break at CR LF, CR
// or LF; a byte 0 ends the text; each leading TAB or space counts one level.
// A line more than one level deeper than the line before stops reading with
// varnelo::Error "Invalid level (%d) for item "%s"", the nodes read so far kept;
// text after a byte 0 ends reading the same way (the tree is then not whole).
// Throws varnelo::Error when the file cannot be read or is not a regular file.
void LoadTree(QStandardItemModel &model, const QString &path);
void LoadTreeFromBytes(QStandardItemModel &model, const QByteArray &bytes);
// A tree file that was not read whole is never saved over as it is: it is
// kept as "<name>.damaged" first. Returns the one message that says so, led
// by `problem` (what was wrong). When not even a copy can be made (the file
// cannot be read), `saveBlocked` is set: the caller must not save over it.
QString KeepUnreadTree(const QString &path, const QString &problem, bool &saveBlocked);
// Writes the tree (an empty tree writes an empty file), replacing the file atomically.
void SaveTree(const QStandardItemModel &model, const QString &path);
QByteArray SaveTreeToBytes(const QStandardItemModel &model);
// The first node in tree order whose text equals `text` when both are ASCII
// upper-cased; nullptr when none.
QStandardItem *FindNodeByText(const QStandardItemModel &model, const QString &text);
// Every node in tree order (depth-first, parents before children).
void ForEachNode(const QStandardItemModel &model, const std::function<bool(QStandardItem *)> &visit);

} // namespace varnelo::tree
