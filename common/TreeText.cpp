#include "common/TreeText.h"

#include "common/Error.h"
#include "common/FileGuards.h"
#include "common/RowMove.h"
#include "common/TextRules.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardItemModel>

#include <algorithm>
#include <optional>
#include <utility>

namespace varnelo::tree {
namespace {

int depthOf(const QStandardItem *item) {
    int d = 0;
    for (const QStandardItem *p = item->parent(); p; p = p->parent())
        ++d;
    return d;
}

QStandardItem *newNode(const QString &text) {
    return NewListCell(text, Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsDragEnabled |
                                 Qt::ItemIsDropEnabled);
}

// The tree is built apart from the model, its roots handed over at the end:
// a view attached takes one insertion per root, not one per node.
void appendAsSiblingOf(QList<QStandardItem *> &roots, QStandardItem *sibling, QStandardItem *node) {
    if (QStandardItem *parent = sibling->parent())
        parent->appendRow(node);
    else
        roots.append(node);
}

bool visitSubtree(QStandardItem *item, const std::function<bool(QStandardItem *)> &visit) {
    if (!visit(item))
        return false;
    for (int r = 0; r < item->rowCount(); ++r)
        if (!visitSubtree(item->child(r), visit))
            return false;
    return true;
}

void writeSubtree(const QStandardItem *item, int depth, QByteArray &out) {
    out += QByteArray(depth, '\t');
    out += item->text().toUtf8();
    out += "\r\n";
    for (int r = 0; r < item->rowCount(); ++r)
        writeSubtree(item->child(r), depth + 1, out);
}

} // namespace

void LoadTreeFromBytes(QStandardItemModel &model, const QByteArray &raw) {
    model.clear();
    QByteArray bytes = raw;
    std::optional<Error> cut;
    if (const qsizetype nul = bytes.indexOf('\0'); nul >= 0) {
        // Bytes 0 at the very end only pad the file; anything after one is lost.
        if (std::any_of(bytes.begin() + nul, bytes.end(), [](char c) { return c != '\0'; }))
            cut = Error(QStringLiteral("A byte 0 at offset %1 ends the text before its end").arg(nul));
        bytes.truncate(nul);
    }

    QList<QByteArray> lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\r' || bytes[i] == '\n') {
            lines.append(bytes.mid(start, i - start));
            if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n')
                ++i;
            start = i + 1;
        }
    }
    if (start < bytes.size())
        lines.append(bytes.mid(start));

    QList<QStandardItem *> roots;
    const auto handOver = [&] {
        for (QStandardItem *root : std::exchange(roots, {}))
            model.appendRow(root);
    };
    QStandardItem *previous = nullptr;
    int previousDepth = 0;
    for (const QByteArray &line : lines) {
        int depth = 0;
        while (depth < line.size() && (line[depth] == '\t' || line[depth] == ' '))
            ++depth;
        const QString text = text::decode8Bit(line.mid(depth));
        QStandardItem *node = newNode(text);
        if (!previous) {
            roots.append(node); // the first line is always a root
            depth = 0;
        } else if (depth == previousDepth) {
            appendAsSiblingOf(roots, previous, node);
        } else if (depth == previousDepth + 1) {
            previous->appendRow(node);
        } else if (depth > previousDepth + 1) {
            delete node;
            handOver();
            throw Error(QStringLiteral("Invalid level (%1) for item \"%2\"").arg(depth).arg(text));
        } else {
            QStandardItem *up = previous->parent();
            while (depthOf(up) > depth)
                up = up->parent();
            appendAsSiblingOf(roots, up, node);
        }
        previous = node;
        previousDepth = depth;
    }
    handOver();
    if (cut)
        throw *cut;
}

void LoadTree(QStandardItemModel &model, const QString &path) {
    files::requireRegularOrMissing(path);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw Error(QStringLiteral("Cannot open file \"%1\": %2").arg(path, file.errorString()));
    LoadTreeFromBytes(model, file.read(file.size())); // no more than the file held when opened
}

QString KeepUnreadTree(const QString &path, const QString &problem, bool &saveBlocked) {
    const QString name = QFileInfo(path).fileName();
    saveBlocked = false;
    try {
        const QString kept = files::keepDamaged(path);
        return QStringLiteral("%1: \"%2\" was not read whole; it is kept as \"%3\"").arg(problem, name, kept);
    } catch (const Error &) {
        saveBlocked = true;
        return QStringLiteral("%1: \"%2\" is left as it is and not saved over").arg(problem, name);
    }
}

QByteArray SaveTreeToBytes(const QStandardItemModel &model) {
    QByteArray out;
    for (int r = 0; r < model.rowCount(); ++r)
        writeSubtree(model.item(r), 0, out);
    return out;
}

void SaveTree(const QStandardItemModel &model, const QString &path) {
    files::replaceLinkWithCopy(path);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw Error(QStringLiteral("Cannot create file \"%1\": %2").arg(path, file.errorString()));
    file.write(SaveTreeToBytes(model));
    if (!file.commit())
        throw Error(QStringLiteral("Cannot write file \"%1\": %2").arg(path, file.errorString()));
}

void ForEachNode(const QStandardItemModel &model, const std::function<bool(QStandardItem *)> &visit) {
    for (int r = 0; r < model.rowCount(); ++r)
        if (!visitSubtree(model.item(r), visit))
            return;
}

QStandardItem *FindNodeByText(const QStandardItemModel &model, const QString &text) {
    const QString wanted = text::asciiUpper(text);
    QStandardItem *found = nullptr;
    ForEachNode(model, [&](QStandardItem *item) {
        if (text::asciiUpper(item->text()) == wanted)
            found = item;
        return found == nullptr;
    });
    return found;
}

} // namespace varnelo::tree
