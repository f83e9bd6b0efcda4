// The tree text format of the catalogue and library trees.
#include "FuzzSupport.h"
#include "common/Error.h"
#include "common/TreeText.h"

#include <QStandardItemModel>

using namespace varnelo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    fuzz::quietQt();
    QStandardItemModel model;
    try {
        tree::LoadTreeFromBytes(model, fuzz::bytesOf(data, size));
    } catch (const Error &e) {
        FUZZ_CHECK(!e.message().isEmpty());
    }
    // What is saved reads back as the same tree.
    const QByteArray saved = tree::SaveTreeToBytes(model);
    QStandardItemModel again;
    tree::LoadTreeFromBytes(again, saved);
    FUZZ_CHECK(tree::SaveTreeToBytes(again) == saved);
    int nodes = 0;
    tree::ForEachNode(again, [&](QStandardItem *) { return ++nodes > 0; });
    FUZZ_CHECK(nodes <= qsizetype(size) + 1);
    if (nodes > 0)
        FUZZ_CHECK(tree::FindNodeByText(again, again.item(0)->text()) == again.item(0));
    return 0;
}
