#include "png_snapshot.h"

#include <cstdio>
#include <memory>

#include "codec/av_holders.h"

std::string write_png_snapshot(const std::string& path, const std::vector<unsigned char>& bgr_bottom_up,
                               int width, int height) {
  if (width <= 0 || height <= 0 || bgr_bottom_up.size() < size_t(width) * height * 3)
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

  // Read the rows last first (negative stride) to turn the picture upright.
  const int stride = width * 3;
  const uint8_t* src[4] = {bgr_bottom_up.data() + size_t(height - 1) * stride};
  const int src_stride[4] = {-stride};
  lrk::sws_context_ptr sws(sws_getContext(width, height, AV_PIX_FMT_BGR24, width, height,
                                          AV_PIX_FMT_RGB24, SWS_POINT, nullptr, nullptr, nullptr));
  if (!sws) return "cannot convert the picture";
  sws_scale(sws.get(), src, src_stride, 0, height, frame->data, frame->linesize);

  if (avcodec_send_frame(ctx.get(), frame.get()) < 0 || avcodec_send_frame(ctx.get(), nullptr) < 0 ||
      avcodec_receive_packet(ctx.get(), packet.get()) < 0)
    return "PNG encoding failed";

  FILE* out = std::fopen(path.c_str(), "wb");
  if (!out) return "cannot create " + path;
  const bool written = std::fwrite(packet->data, 1, packet->size, out) == size_t(packet->size);
  if (std::fclose(out) != 0 || !written) return "cannot write " + path;
  return {};
}
