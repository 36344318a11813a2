#include "ui/front_end.h"

// Built when the wxWidgets front end is not: every run uses the text front end.
std::unique_ptr<FrontEnd> MakeGuiFrontEnd(int&, char**) {
    return nullptr;
}
