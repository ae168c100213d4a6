// quor: the windowed converter.
#include "gui/program/Application.h"

int main(int argc, char** argv) {
  TQuorApplication app(argc, argv);
  return RunQuor(app);
}
