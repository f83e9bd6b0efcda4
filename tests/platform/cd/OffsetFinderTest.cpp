// The checksums of every read offset from one read, against the checksum fed
// the shifted track itself: the running sums must agree for every offset.
#include "platform/cd/OffsetFinder.h"

#include <gtest/gtest.h>
#include <random>

using namespace varnelo::cd;

TEST(OffsetFinder, RunningSumsAgreeWithTheChecksumAtEveryOffset) {
    constexpr int range = OffsetSearchRange;
    // Loud noise, so that products carry into the high word; short tracks, and
    // the disc's ends inside the margins.
    for (const std::vector<qint64> &lengths :
         std::vector<std::vector<qint64>>{{12000, 7001, 9100}, {20000}}) {
        std::mt19937 random(unsigned(lengths.size()));
        qint64 total = 0;
        for (const qint64 l : lengths)
            total += l;
        std::vector<qint16> disc(std::size_t(total + 2 * range) * 2, 0); // silence beyond both ends
        for (std::size_t i = std::size_t(range) * 2; i < std::size_t(total + range) * 2; ++i)
            disc[i] = qint16(random());
        qint64 start = 0;
        for (std::size_t t = 0; t < lengths.size(); start += lengths[t], ++t) {
            SCOPED_TRACE(t);
            const bool first = t == 0, last = t + 1 == lengths.size();
            const auto at = disc.begin() + std::ptrdiff_t(start) * 2;
            const TrackOffsetScan scan({at, at + std::ptrdiff_t(lengths[t] + 2 * range) * 2}, lengths[t],
                                       range, first, last);
            int screened = 0;
            for (int o = -range; o <= range; ++o)
                screened += scan.mayBeV2(o, 0x5eed1234u) ? 1 : 0;
            EXPECT_LT(screened, 5); // a full pass is rare
            const std::vector<int> offsets{-range, -range + 1, -1164, -1, 0, 1, 667, range - 1, range};
            const std::vector<quint32> v2 = scan.v2(offsets);
            for (std::size_t k = 0; k < offsets.size(); ++k) {
                const int o = offsets[k];
                SCOPED_TRACE(o);
                AccurateRipChecksum whole(first, last);
                whole.add(&*at + std::ptrdiff_t(range + o) * 2, std::size_t(lengths[t]));
                whole.finish();
                EXPECT_EQ(scan.v1(o), whole.v1());
                EXPECT_EQ(v2[k], whole.v2());
                EXPECT_TRUE(scan.mayBeV2(o, whole.v2()));
                EXPECT_NE(whole.v1(), whole.v2());
            }
        }
    }
}
