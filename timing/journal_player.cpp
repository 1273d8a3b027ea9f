#include "timing/journal_player.h"

namespace tivaro::timing {

Status JournalPlayer::play(const JournalAction& action) {
    SetupPanel& setup = controller_.setup();
    switch (action.kind) {
        case ActionKind::Open:
            return open_(action.text);
        case ActionKind::Sport:
            return controller_.chooseSport(action.text);
        case ActionKind::Heat:
            setup.chooseHeat(action.text);
            break;
        case ActionKind::Laps:
            setup.moveLapSlider(action.number);
            break;
        case ActionKind::Phase:
            setup.choosePhase(action.phase, action.pulseGiven);
            break;
        case ActionKind::Decoder:
            controller_.chooseDecoderGeneration(action.generation);
            break;
        case ActionKind::Serial:
        case ActionKind::Tcp:
            linkInForce_ =
                action.kind == ActionKind::Serial ? link::LinkKind::Serial : link::LinkKind::Tcp;
            controller_.onDecoderBytes(*linkInForce_, action.bytes);
            break;
        case ActionKind::Reconnect:
            if (action.link) {
                controller_.connectionStarted(*action.link);
            } else if (linkInForce_) {
                controller_.connectionStarted(*linkInForce_);
            }
            break;
        case ActionKind::Passing:
            controller_.handlePassing(link::Passing{action.text, action.time});
            break;
        case ActionKind::Manual:
            return controller_.handPassing(action.text, action.time);
        case ActionKind::Undo:
            return controller_.takeBack(action.text);
        case ActionKind::MinimumLap:
            setup.setMinimumLap(action.number);
            break;
        case ActionKind::FillIn:
            controller_.fillIn(action.yes);
            break;
        case ActionKind::Restore:
            setup.restore(action);
            break;
        case ActionKind::End:
            break;
    }
    return {};
}

}  // namespace tivaro::timing
