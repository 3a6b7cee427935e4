/** Client of acbr-ponte, the companion process that reaches ACBrLib NFe. */
module br.com.acbrponte {
    exports br.com.acbrponte;
}
