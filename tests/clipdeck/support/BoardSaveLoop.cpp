// A program that saves every board of the boards folder ($XDG_DATA_HOME/Clipdeck) over and
// over, changing them a little each round (name, volumes, cells swapped, edit settings), until
// it is killed. It prints "ready" once the boards are loaded. The crash test kills it at
// random moments and checks that every board still loads whole.
#include "clipdeck/CKClipdeck.h"
#include "clipdeck/CKSoundCachedFileSource.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QList<std::shared_ptr<CKClipdeck>> boards = CKClipdeck::loadAllClipdecks();
    std::printf("ready\n");
    std::fflush(stdout);
    for (qulonglong round = 0;; ++round) {
        for (const std::shared_ptr<CKClipdeck>& board : boards) {
            board->setName(QStringLiteral("round %1").arg(round));
            board->swapCellAtIndex(round % 8, (round + 3) % 8);
            for (const std::shared_ptr<CKSoundSource>& sound : board->sounds()) {
                if (!sound)
                    continue;
                sound->setPlaybackVolume(float(round % 100) / 100.0f);
                sound->setEditorSettings({{QStringLiteral("Round"), round}});
            }
            board->save();
        }
    }
}
