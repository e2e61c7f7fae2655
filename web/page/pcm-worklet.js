// Turns the microphone into 16-bit PCM blocks of 10 ms at the context's rate
// (48 kHz), mono, and posts each block to the page.
class PcmWorklet extends AudioWorkletProcessor {
  constructor() {
    super();
    this.block = new Int16Array(480);
    this.fill = 0;
  }
  process(inputs) {
    const input = inputs[0];
    if (!input || input.length === 0) return true;
    const ch = input[0];
    for (let i = 0; i < ch.length; i++) {
      const v = Math.max(-1, Math.min(1, ch[i]));
      this.block[this.fill++] = v < 0 ? v * 0x8000 : v * 0x7fff;
      if (this.fill === this.block.length) {
        this.port.postMessage(this.block.buffer, [this.block.buffer]);
        this.block = new Int16Array(480);
        this.fill = 0;
      }
    }
    return true;
  }
}
registerProcessor('pcm-worklet', PcmWorklet);
