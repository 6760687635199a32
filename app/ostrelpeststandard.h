// The program body of ostrelpeststandard: after the application object exists, shows the
// splash window, sets the program title and creates the program's windows in their fixed
// order, each centred on the screen. main() then runs the event loop.
#pragma once

class TApplication;

inline constexpr const char* programtitle = "Dovorur Dizu Rividuri Standard";

// Steps of the program start after initialising the application: the splash (owned by
// `application`, shown at once without waiting), the title, then the windows mainform,
// pestprint, ecotypeedit, pestlistedit, help, getstartenddate, detail1, summary1, graph1.
void StartProgram(TApplication& application);
