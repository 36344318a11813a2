#include "ui/front_end.h"

std::unique_ptr<FrontEnd> MakeTextFrontEnd() { return nullptr; }
