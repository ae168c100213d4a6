// quor: the windowed converter.
#include "gui/Application.h"

int main(int argc, char** argv) {
  TQuorApplication app(argc, argv);
  return RunQuor(app);
}
