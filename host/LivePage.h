#pragma once

// The live view's page: HTML, CSS and JavaScript in one document, shipped
// inside the program and using nothing from other sites.

#include <string>

const std::string& LivePageHtml();
