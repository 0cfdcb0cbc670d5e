unit LCLTranslator;

{$mode objfpc}{$H+}

interface

function SetDefaultLang(Lang: string; Dir: string = ''; LocaleFileName: string = '';
  ForceUpdate: boolean = true): string;

implementation

end.
