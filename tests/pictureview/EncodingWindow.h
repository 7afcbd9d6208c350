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

} // namespace fixtures
