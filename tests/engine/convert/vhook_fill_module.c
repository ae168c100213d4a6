/* A frame hook module for the conversion tests: paints the luma of the
 * lower half of every picture with the value given as its first argument. */
#include <stdint.h>
#include <stdlib.h>

typedef struct {
  uint8_t* data[4];
  int linesize[4];
} Picture;

typedef struct {
  int value;
} FillContext;

int Configure(void** ctx, int argc, char* argv[]) {
  FillContext* c = malloc(sizeof *c);
  if (!c) return -1;
  c->value = argc > 1 ? atoi(argv[1]) : 255;
  *ctx = c;
  return 0;
}

void Process(void* ctx, Picture* picture, int pixFmt, int width, int height, int64_t pts) {
  (void)pixFmt;
  (void)pts;
  const FillContext* c = ctx;
  for (int y = height / 2; y < height; ++y)
    for (int x = 0; x < width; ++x)
      picture->data[0][y * picture->linesize[0] + x] = (uint8_t)c->value;
}

void Release(void* ctx) { free(ctx); }
