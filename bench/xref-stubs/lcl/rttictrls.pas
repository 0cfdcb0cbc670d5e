unit RTTICtrls;

{$mode objfpc}{$H+}

interface

uses
  Classes, Controls, StdCtrls, ExtCtrls, Spin;

type
  TCustomPropertyLink = class(TPersistent)
  private
    function GetTIObject: TPersistent;
    procedure SetTIObject(const AValue: TPersistent);
  public
    procedure LoadFromProperty; virtual;
    procedure SaveToProperty; virtual;
    property TIObject: TPersistent read GetTIObject write SetTIObject;
  end;

  TPropertyLink = class(TCustomPropertyLink)
  end;

  TTICustomEdit = class(TCustomEdit)
  private
    function GetLink: TPropertyLink;
    procedure SetLink(const AValue: TPropertyLink);
  public
    property Link: TPropertyLink read GetLink write SetLink;
  end;

  TTIEdit = class(TTICustomEdit)
  end;

  TTICustomComboBox = class(TCustomComboBox)
  private
    function GetLink: TPropertyLink;
    procedure SetLink(const AValue: TPropertyLink);
  public
    property Link: TPropertyLink read GetLink write SetLink;
  end;

  TTIComboBox = class(TTICustomComboBox)
  end;

  TTICustomRadioGroup = class(TCustomRadioGroup)
  private
    function GetLink: TPropertyLink;
    procedure SetLink(const AValue: TPropertyLink);
  public
    property Link: TPropertyLink read GetLink write SetLink;
  end;

  TTIRadioGroup = class(TTICustomRadioGroup)
  end;

  TTICustomCheckGroup = class(TCustomCheckGroup)
  private
    function GetLink: TPropertyLink;
    procedure SetLink(const AValue: TPropertyLink);
  public
    property Link: TPropertyLink read GetLink write SetLink;
  end;

  TTICheckGroup = class(TTICustomCheckGroup)
  end;

  TTICustomCheckBox = class(TCustomCheckBox)
  private
    function GetLink: TPropertyLink;
    procedure SetLink(const AValue: TPropertyLink);
  public
    property Link: TPropertyLink read GetLink write SetLink;
  end;

  TTICheckBox = class(TTICustomCheckBox)
  end;

  TTICustomSpinEdit = class(TCustomSpinEdit)
  private
    function GetLink: TPropertyLink;
    procedure SetLink(const AValue: TPropertyLink);
  public
    property Link: TPropertyLink read GetLink write SetLink;
  end;

  TTISpinEdit = class(TTICustomSpinEdit)
  end;

implementation

end.
