#include "pictureview/BusyPointer.h"
#include "pictureview/MethodIds.h"
#include "pictureview/SettingsSource.h"

#include <QApplication>
#include <QCursor>

#include <climits>

namespace quorvanta {

namespace {
int busyDepth = 0;
}

BusyPointer::BusyPointer()
{
    if (busyDepth++ == 0 && qobject_cast<QApplication*>(QCoreApplication::instance()))
        QApplication::setOverrideCursor(Qt::WaitCursor);
}

BusyPointer::~BusyPointer()
{
    if (--busyDepth == 0 && qobject_cast<QApplication*>(QCoreApplication::instance()))
        QApplication::restoreOverrideCursor();
}

bool BusyPointer::active()
{
    return busyDepth > 0;
}

EncodeSettings readEncodeSettings(const SettingsSource* settings)
{
    EncodeSettings values;
    if (!settings)
        return values;
    values.lossless = settings->lossless() ? 1 : 0;
    values.quality = settings->quality();
    values.method = settings->speed();
    values.filterStrength = settings->filterStrength();
    values.filterSharpness = settings->filterSharpness();
    return values;
}

int readFieldInteger(const QString& text)
{
    qsizetype i = 0;
    while (i < text.size() && (text[i] == u' ' || text[i] == u'\t'))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'-' || text[i] == u'+')) {
        negative = text[i] == u'-';
        ++i;
    }
    long long value = 0;
    for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
        value = value * 10 + (text[i].unicode() - u'0');
        if (value > static_cast<long long>(INT_MAX) + 1)
            value = static_cast<long long>(INT_MAX) + 1;
    }
    if (negative)
        value = -value;
    if (value > INT_MAX)
        value = INT_MAX;
    return static_cast<int>(value);
}

const char* methodName(MethodId id)
{
    switch (id) {
    case MethodId::New: return "OM_NEW";
    case MethodId::Dispose: return "OM_DISPOSE";
    case MethodId::Set: return "OM_SET";
    case MethodId::Get: return "OM_GET";
    case MethodId::AskMinMax: return "AskMinMax";
    case MethodId::Draw: return "Draw";
    case MethodId::Setup: return "Setup";
    case MethodId::Cleanup: return "Cleanup";
    case MethodId::DecodeStill: return "DecodeStill";
    case MethodId::OpenWebP: return "OpenWebP";
    case MethodId::Tick: return "Tick";
    case MethodId::ShowAnimFrame: return "ShowAnimFrame";
    case MethodId::Load: return "Load";
    case MethodId::SavePicture: return "SavePicture";
    case MethodId::OpenDirectory: return "OpenDirectory";
    case MethodId::SaveAnimation: return "SaveAnimation";
    case MethodId::ShowImported: return "ShowImported";
    case MethodId::Pause: return "Pause";
    case MethodId::Play: return "Play";
    case MethodId::GotoFrame: return "GotoFrame";
    case MethodId::ShowDirFrame: return "ShowDirFrame";
    case MethodId::SetDelay: return "SetDelay";
    case MethodId::LoadDirectory: return "LoadDirectory";
    case MethodId::EncodePicture: return "EncodePicture";
    }
    return "unknown";
}

} // namespace quorvanta
