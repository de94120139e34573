#include "png_snapshot.h"

#include <cstdio>
#include <memory>

#include "codec/av_holders.h"

namespace {
struct source_view {
  AVPixelFormat format;
  const uint8_t* data[4];
  int stride[4];
};

// The picture as the scaler reads it, upright: bottom-up rows are read last
// row first, with a negative stride.
bool view_of(const std::vector<unsigned char>& pixels, int width, int height, picture_layout layout,
             source_view* view) {
  const int bytes_per_pixel = layout == picture_layout::yuy2 ? 2 : 3;
  const int stride = width * bytes_per_pixel;
  if (pixels.size() < size_t(stride) * height) return false;
  if (layout == picture_layout::yuy2) {
    *view = {AV_PIX_FMT_YUYV422, {pixels.data()}, {stride}};
  } else {
    *view = {AV_PIX_FMT_BGR24, {pixels.data() + size_t(height - 1) * stride}, {-stride}};
  }
  return true;
}
}  // namespace

std::string write_png_snapshot(const std::string& path, const std::vector<unsigned char>& pixels,
                               int width, int height, picture_layout layout) {
  source_view source{};
  if (width <= 0 || height <= 0 || !view_of(pixels, width, height, layout, &source))
    return "no picture to write";
  const AVCodec* png = avcodec_find_encoder(AV_CODEC_ID_PNG);
  if (!png) return "this FFmpeg has no PNG encoder";
  lrk::av_codec_context_ptr ctx(avcodec_alloc_context3(png));
  lrk::av_frame_ptr frame = lrk::make_frame();
  lrk::av_packet_ptr packet = lrk::make_packet();
  if (!ctx || !frame || !packet) return "out of memory";
  ctx->width = width;
  ctx->height = height;
  ctx->pix_fmt = AV_PIX_FMT_RGB24;
  ctx->time_base = {1, 25};
  if (avcodec_open2(ctx.get(), png, nullptr) < 0) return "cannot open the PNG encoder";

  frame->format = AV_PIX_FMT_RGB24;
  frame->width = width;
  frame->height = height;
  if (av_frame_get_buffer(frame.get(), 0) < 0) return "out of memory";

  lrk::sws_context_ptr sws(sws_getContext(width, height, source.format, width, height,
                                          AV_PIX_FMT_RGB24, SWS_POINT, nullptr, nullptr, nullptr));
  if (!sws) return "cannot convert the picture";
  sws_scale(sws.get(), source.data, source.stride, 0, height, frame->data, frame->linesize);

  if (avcodec_send_frame(ctx.get(), frame.get()) < 0 || avcodec_send_frame(ctx.get(), nullptr) < 0 ||
      avcodec_receive_packet(ctx.get(), packet.get()) < 0)
    return "PNG encoding failed";

  FILE* out = std::fopen(path.c_str(), "wb");
  if (!out) return "cannot create " + path;
  const bool written = std::fwrite(packet->data, 1, packet->size, out) == size_t(packet->size);
  if (std::fclose(out) != 0 || !written) return "cannot write " + path;
  return {};
}
