#pragma once
// The picture object in a stand-in window, for the suites that encode and play directories.

#include "PictureFixtures.h"
#include "TestDoubles.h"
#include "ViewingFixtures.h"

#include "pictureview/BusyPointer.h"
#include "pictureview/PictureView.h"

namespace quorvanta {

// Reaches the picture object's instance data, as the loaders of other subsystems would fill it.
struct PictureViewTestAccess {
    static InstanceData& data(PictureView& view) { return view.d; }
};

} // namespace quorvanta

namespace fixtures {

using namespace quorvanta;
using testsupport::StdoutCapture;

// The picture object with stand-ins for the window parts that follow it, fixed settings and scripted
// requesters.
struct Window : viewingtest::Window {
    FixedSettings settings;
    std::deque<RequestAnswer> answers;
    std::vector<RequestOptions> asked;
    Requesters requesters{std::make_unique<ScriptedBackend>(answers, asked)};
    PictureView view;
    std::vector<int> gaugeValues;
    bool gaugeSeenWithBusyPointer = false;

    Window()
    {
        animationBar->hide();
        encodeAnimationPanel->hide();
        view.setSettings(&settings);
        view.setRequesters(&requesters);
        attach(view);
        QObject::connect(gauge, &QProgressBar::valueChanged, gauge, [this](int value) {
            gaugeValues.push_back(value);
            if (value > 0 && !gauge->isHidden() && BusyPointer::active())
                gaugeSeenWithBusyPointer = true;
        });
    }

    InstanceData& d() { return PictureViewTestAccess::data(view); }

    // As the loader leaves an imported picture, saved first as in.png in `dir`.
    void importPicture(const QTemporaryDir& dir, const QImage& picture)
    {
        const QString png = dir.filePath("in.png");
        QVERIFY(savePng(picture, png));
        QCOMPARE(loadWithQt(png.toStdString(), d().importBuffer), 1);
        d().importStatus = 1;
        d().mode = Mode::Imported;
    }
};

// The rows of a suite that compares what played with what was written: lossless (equal), lossy and
// mixed (within the codec's error), in columns "lossless", "mixed" and "minPsnr".
inline void addCodingRows()
{
    QTest::addColumn<bool>("lossless");
    QTest::addColumn<bool>("mixed");
    QTest::addColumn<double>("minPsnr"); // 99: equal
    QTest::newRow("lossless") << true << false << 99.0;
    QTest::newRow("lossy") << false << false << 30.0;
    QTest::newRow("mixed") << false << true << 30.0;
}

// Frames shown against the frames written (transparent pixels of any colour alike): an empty text
// when each is at least `minPsnr` close (99: equal), otherwise the first that is not.
inline QString compareFrames(const std::vector<std::vector<std::uint32_t>>& shown,
                             const testsupport::DecodedAnimation& written, double minPsnr)
{
    if (shown.size() != written.frames.size())
        return QStringLiteral("%1 frames written, %2 shown").arg(written.frames.size()).arg(shown.size());
    for (std::size_t i = 0; i < shown.size(); ++i) {
        const double psnr = testsupport::psnr4(testsupport::clearTransparent(shown[i]),
                                               testsupport::clearTransparent(written.frames[i]));
        if (psnr < minPsnr)
            return QStringLiteral("frame %1: PSNR %2").arg(i + 1).arg(psnr);
    }
    return {};
}

} // namespace fixtures
