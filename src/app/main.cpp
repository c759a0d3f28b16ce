// The executable only wires the libraries together.
#include "actions/result_actions.h"
#include "app/application.h"
#include "http/fetch.h"
#include "search/commands.h"

int main(int argc, char** argv) {
    quillmoss::initHttp();
    quillmoss::AppWiring wiring;
    wiring.searchFirstPage = quillmoss::searchFirstPage;
    wiring.showPreviousPage = quillmoss::showPreviousPage;
    wiring.showNextPage = quillmoss::showNextPage;
    wiring.onResultRightClick = quillmoss::onResultRightClick;
    wiring.onResultDoubleClick = quillmoss::onResultDoubleClick;
    wiring.sendToMagnetHandler = quillmoss::sendToMagnetHandler;
    wiring.copyLink = quillmoss::copyLink;
    wiring.playOnline = quillmoss::playOnline;
    wiring.showDetails = quillmoss::showDetails;
    wiring.abortExchanges = quillmoss::abortAllFetches;
    return quillmoss::runApplication(argc, argv, wiring);
}
