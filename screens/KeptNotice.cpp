#include "screens/KeptNotice.h"

#include <QString>

#include "link/CommThread.h"

#include "kit/QtText.h"

#include "screens/Globals.h"

QString KeptEditsNotice() {
    if (!CommThread) return {};
    QString text;
    if (CommThread->HoldsOpenedFile())
        text =
            Tr("The settings of the opened file are kept in the program; "
               "none of them has been sent to this ECU.");
    else if (CommThread->HoldsKeptEdits())
        text =
            Tr("Changes made before the line was interrupted are kept in the program; "
               "none of them has been sent to this ECU.");
    if (CommThread->LooksLikeOtherVehicle()) {
        if (!text.isEmpty()) text += QLatin1Char(' ');
        text +=
            Tr("This looks like another vehicle: the ECU or its settings differ from "
               "those read before the line was interrupted.");
    }
    return text;
}
