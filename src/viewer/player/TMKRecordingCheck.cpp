#include "viewer/player/TMKRecordingCheck.h"

#include "strings/TMKStrings.h"

#include <QFile>

TMKRecordingFault TMKRecordingFaultOf(TMKMediaProblem problem)
{
    switch (problem) {
    case TMKMediaProblem::None:
    case TMKMediaProblem::NoTelemetry: return TMKRecordingFault::None;
    case TMKMediaProblem::CannotOpen: return TMKRecordingFault::Unreadable;
    case TMKMediaProblem::NotRegularFile: return TMKRecordingFault::NotRegularFile;
    case TMKMediaProblem::LinkTargetMissing: return TMKRecordingFault::LinkTargetMissing;
    case TMKMediaProblem::NotAvi: return TMKRecordingFault::NotAvi;
    case TMKMediaProblem::CutShort: return TMKRecordingFault::CutShort;
    case TMKMediaProblem::NoIndex: return TMKRecordingFault::NoIndex;
    }
    return TMKRecordingFault::None;
}

TMKRecordingFault TMKCheckRecording(const QString& path)
{
    const QByteArray name = QFile::encodeName(path);
    // The player asks on the main thread: the structure is enough to tell
    // what plays, the index is not read.
    const std::string file(name.constData(), std::size_t(name.size()));
    return TMKRecordingFaultOf(TMKCheckMedia(file, TMKMediaCheckDepth::Structure).problem);
}

bool TMKRecordingFaultIsFatal(TMKRecordingFault fault)
{
    return fault == TMKRecordingFault::Unreadable || fault == TMKRecordingFault::NotRegularFile
        || fault == TMKRecordingFault::LinkTargetMissing || fault == TMKRecordingFault::NotAvi;
}

QString TMKRecordingFaultText(TMKRecordingFault fault)
{
    switch (fault) {
    case TMKRecordingFault::None: return {};
    case TMKRecordingFault::Unreadable: return TMKLocalizedString("player.fault.unreadable");
    case TMKRecordingFault::NotRegularFile: return TMKLocalizedString("player.fault.not_regular");
    case TMKRecordingFault::LinkTargetMissing: return TMKLocalizedString("player.fault.link_missing");
    case TMKRecordingFault::NotAvi: return TMKLocalizedString("player.fault.not_avi");
    case TMKRecordingFault::CutShort: return TMKLocalizedString("player.fault.cut_short");
    case TMKRecordingFault::NoIndex: return TMKLocalizedString("player.fault.no_index");
    }
    return {};
}

QString TMKMediaProblemText(TMKMediaProblem problem)
{
    if (problem == TMKMediaProblem::NoTelemetry)
        return TMKLocalizedString("player.fault.no_telemetry");
    return TMKRecordingFaultText(TMKRecordingFaultOf(problem));
}
